// Must not compile: the message event is private to winmsg.
#include "CMessageEvent.h"
