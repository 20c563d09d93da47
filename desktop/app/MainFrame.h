// The main window: the File, Edit (undo, redo, A/B), Config, View and Help menus, the tool bar, the
// status bar (the unit's state, UnitStatePane.h; the highlighted command's
// prompt; the CAP, NUM and SCRL indicators) and the block-diagram view in its middle. It owns the
// response window, the Measure window and the Tune System window.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>

class AbSwitch;
class CQuenbarDoc;
class CQuenbarView;
class CMeasureWindow;
class CResponseWindow;
class CTuneWindow;
class CLiveWindow;
class DocumentMemories;
class QLabel;
class QToolBar;

// Command ids of the menu and tool bar.
inline constexpr int kIdRs232 = 32771;
inline constexpr int kIdConnect = 32772;
inline constexpr int kIdDisconnect = 32773;
inline constexpr int kIdMemory = 32775;
inline constexpr int kIdSettingsReport = 32776;
inline constexpr int kIdViewResponse = 32777;
inline constexpr int kIdExportJson = 32778;
inline constexpr int kIdImportJson = 32779;
inline constexpr int kIdAbout = 57664;
inline constexpr int kIdExit = 57665;
inline constexpr int kIdViewToolbar = 59392;
inline constexpr int kIdViewStatusBar = 59393;
inline constexpr int kIdViewCommunicationLog = 32780;
inline constexpr int kIdFileNew = 57600;
inline constexpr int kIdFileOpen = 57601;
inline constexpr int kIdFileSave = 57603;
inline constexpr int kIdFileSaveAs = 57604;
inline constexpr int kIdSendToUnit = 32781;
inline constexpr int kIdReadFromUnit = 32782;
inline constexpr int kIdKeepA = 32783;
inline constexpr int kIdKeepB = 32784;
inline constexpr int kIdSwitchA = 32785;
inline constexpr int kIdSwitchB = 32786;
inline constexpr int kIdSwitchOver = 32787;
inline constexpr int kIdUndo = 57643;
inline constexpr int kIdRedo = 57644;
inline constexpr int kIdMeasure = 32788;
inline constexpr int kIdTune = 32789;
inline constexpr int kIdLive = 32790;

// Which of Connect and Disconnect may run, given the connection flag.
struct ConnectionCommandStates {
    bool connect;
    bool disconnect;
};
ConnectionCommandStates CommandStatesFor(bool connected);

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    CQuenbarView* View() const { return view_; }
    CQuenbarDoc* Document() const { return document_; }
    QToolBar* ToolBar() const { return toolBar_; }
    AbSwitch* Ab() const { return ab_; }
    QAction* Command(int id) const;
    // The text the status bar's message pane shows now.
    QString StatusText() const;

    // Brings Connect and Disconnect (and the File menu's commands that move
    // the document to and from the unit) in line with the connection flag,
    // and the commands that work with the unit with whether it is busy.
    void UpdateCommandStates();

    // Opens the response window (once; later it is brought to the front).
    void ShowResponseWindow();
    // The response window, or nullptr before it was first opened.
    CResponseWindow* ResponseWindow() const { return response_; }
    // The same for the Measure window, whose "Use for the fit" opens the
    // response window with the measurement.
    void ShowMeasureWindow();
    CMeasureWindow* MeasureWindow() const { return measure_; }
    // The same for the Tune System window.
    void ShowTuneWindow();
    CTuneWindow* TuneWindow() const { return tune_; }
    // The same for the Live window.
    void ShowLiveWindow();
    CLiveWindow* LiveWindow() const { return live_; }

signals:
    void aboutRequested();

protected:
    // Closing asks first when the document has unsaved changes; a
    // measurement under way is cancelled and waited for.
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* AddCommand(int id, const QString& text, const QString& prompt, const QString& tip);
    void CreateMenus();
    QMenu* CreateFileMenu();
    void CreateEditMenu();
    void CreateAbCommands(QMenu* edit);
    void FollowAb();
    void BindDocument();
    void CreateToolBar();
    void CreateStatusBar();
    void BindViewCommands();
    void BindUnitState();

    CQuenbarDoc* document_ = nullptr;
    std::unique_ptr<DocumentMemories> documentMemories_;
    CQuenbarView* view_ = nullptr;
    AbSwitch* ab_ = nullptr;
    CResponseWindow* response_ = nullptr;
    CMeasureWindow* measure_ = nullptr;
    CTuneWindow* tune_ = nullptr;
    CLiveWindow* live_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QLabel* ready_ = nullptr;
    std::map<int, QAction*> commands_;
};
