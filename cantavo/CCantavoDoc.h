#pragma once

// The program's document: the program edits no document of its own (takes and favourites
// have their own files), so a new document is empty and stores and loads nothing.
class CCantavoDoc {
public:
    CCantavoDoc();
    virtual ~CCantavoDoc();
    CCantavoDoc(const CCantavoDoc&) = delete;
    CCantavoDoc& operator=(const CCantavoDoc&) = delete;

    virtual bool OnNewDocument();
};
