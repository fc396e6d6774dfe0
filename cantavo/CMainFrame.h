#pragma once

#include "CMessageReceiver.h"
#include "WinTypes.h"

#include <QMainWindow>
#include <QPointer>
#include <map>

class CCantavoView;
class QAction;
class QMenu;

// The program's main window: a fixed 792 x 526 client area (the view) under the menu. It
// answers the menu's commands, keeps the compression check marks with the shared state, lets
// itself be minimized or closed only while nothing records or plays, and on an orderly close
// ends the engine and stores its place and the settings of the moment.
class CMainFrame : public CMessageReceiver<QMainWindow> {
public:
    // Menu commands.
    enum : UINT {
        ID_COMPRESS_MP3 = 32790,
        ID_COMPRESS_WMA = 32791,
        ID_FAVOURITE_LOAD_1 = 32806,
        ID_FAVOURITE_SAVE_1 = 32807,
        ID_FAVOURITE_LOAD_2 = 32808,
        ID_FAVOURITE_SAVE_2 = 32809,
        ID_FAVOURITE_LOAD_3 = 32810,
        ID_FAVOURITE_SAVE_3 = 32811,
        ID_LOAD_LAST_EXIT = 32813,
        ID_REFRESH_PIANO = 32814,
        ID_HELP_GUIDE = 32815,
        ID_HELP_G = 32816,
        ID_HELP_F = 32817,
        ID_APP_ABOUT = 57664,
        ID_APP_EXIT = 57665,
    };
    // Loads the settings of the last orderly exit, silently; any component may post it.
    static constexpr UINT WM_LOADLASTEXIT = 0x423;
    static constexpr UINT SC_MINIMIZE = 0xF020;
    static constexpr WPARAM PBT_APMQUERYSUSPEND = 0;
    static constexpr LRESULT BROADCAST_QUERY_DENY = 0x424D5144;
    static const QString kTitle;
    static const QString kPlacementSection;

    CMainFrame();
    ~CMainFrame() override;

    CCantavoView* View() const { return m_view; }
    // The menu item of a command; null for a command without one.
    QAction* Action(UINT command) const;
    QList<QAction*> CommandActions() const;

    // Carries out a command of the menu (or a command without item, such as the other two
    // help documents).
    virtual void OnCommand(UINT command);
    // A system command; false when it was refused (a minimize while a take runs).
    bool OnSysCommand(UINT command);
    // The answer to a power event: a suspend is refused while the program runs.
    static LRESULT OnPowerBroadcast(WPARAM event, LPARAM data);
    // Refreshes the load items' enabling from the favourites' files.
    void UpdateFavouriteItems();
    // What SIGTERM, SIGINT and SIGHUP do: the orderly close, unless that would wait for a
    // user (a take runs, or a box waits for its answer). False when the window stays and the
    // caller must end the program, which keeps an unsaved take.
    bool EndBySignal();
    // True once the engine was ended by an orderly close.
    bool HasTerminated() const { return m_terminated; }
    // Brings the window to the front, restored when it was minimized.
    void BringForward();

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnDataChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnLoadLastExit(WPARAM wParam, LPARAM lParam);
    // The close sequence; false when the close was refused.
    bool OnClose();
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildMenu();
    QAction* AddCommand(QMenu* menu, const QString& text, UINT command, const QString& prompt = {});
    void WaitForCharacter();
    void KeepOnScreen();

    CCantavoView* m_view = nullptr;
    QPointer<QMenu> m_loadMenu;
    std::map<UINT, QAction*> m_actions;
    bool m_terminated = false;
    bool m_placed = false;
    bool m_restoring = false;
};
