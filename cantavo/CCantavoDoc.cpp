#include "CCantavoDoc.h"

CCantavoDoc::CCantavoDoc() = default;

CCantavoDoc::~CCantavoDoc() = default;

bool CCantavoDoc::OnNewDocument() {
    return true;
}
