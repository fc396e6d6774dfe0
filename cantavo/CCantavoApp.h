#pragma once

#include "CCantavoDoc.h"
#include "CSingleInstance.h"
#include "CSleepInhibitor.h"

#include <QString>
#include <memory>

class CMainFrame;
class CManage;
class CTrade;
class QWidget;

// The program: the start of the process (trace lines and version list, the skin catalogue
// and the engine's manager registered, one running program per program folder), the main
// window and its start-up, the inhibitor that keeps the computer awake, and the order in
// which everything goes at the end.
class CCantavoApp {
public:
    enum class Start {
        Run,         // this process runs the program
        OtherRaised, // another process runs it and was brought forward: end with success
        Refused,     // the program cannot run (reported on the terminal)
    };
    static const QString kOrganisation;
    static const QString kApplication;

    CCantavoApp();
    // Waits, through private lock 71, until the device watch thread has left.
    ~CCantavoApp();
    CCantavoApp(const CCantavoApp&) = delete;
    CCantavoApp& operator=(const CCantavoApp&) = delete;

    // The first thing the process does, with the about window's text (reading the version
    // records reads every program file, so it is done once); nothing else runs when it does
    // not return Run.
    Start StartProcess(const QString& about);
    // The application font, the profile's names, the main window with the engine started
    // and shown; false when the window could not be made.
    bool InitInstance();

    CMainFrame* MainFrame() const { return m_frame.get(); }
    CManage& Manage() const { return *m_manage; }
    const CSleepInhibitor& Inhibitor() const { return m_inhibitor; }
    // How many later starts asked this one to come forward.
    int RaiseRequests() const { return m_raises; }

    // The about window, modal over owner.
    static void OnAppAbout(QWidget* owner);
    // IPAPGothic for every window, also where a text names the classic Japanese UI font.
    static void SetApplicationFont();

private:
    std::unique_ptr<CTrade> m_trade;
    std::unique_ptr<CManage> m_manage;
    std::unique_ptr<CSingleInstance> m_instance;
    CSleepInhibitor m_inhibitor;
    CCantavoDoc m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    int m_raises = 0;
};
