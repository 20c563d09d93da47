#include "app/MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <array>
#include <functional>
#include <tuple>

#include "app/AbSwitch.h"
#include "app/EditHistory.h"
#include "app/Identity.h"
#include "app/QuenbarDoc.h"
#include "app/QuenbarView.h"
#include "app/ToolbarImages.h"
#include "app/UnitLink.h"
#include "app/UnitTasks.h"
#include "graph/ExportFiles.h"
#include "graph/ResponseWindow.h"
#include "live/LiveWindow.h"
#include "log/CommunicationLog.h"
#include "measure/MeasureWindow.h"
#include "tune/TuneWindow.h"
#include "memory/DocumentMemories.h"
#include "memory/MemoryFileJsonDialogs.h"
#include "status/KeyboardLocks.h"
#include "status/UnitStatePane.h"

ConnectionCommandStates CommandStatesFor(bool connected) { return {!connected, connected}; }

CMainFrame::~CMainFrame() = default;

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent)
{
    setWindowIcon(ProgramIcon());
    // A new window starts a new history, as it starts a new document.
    TheEditHistory().Enter({HistoryEntry::NewHistory});
    document_ = new CQuenbarDoc(this);
    documentMemories_ = std::make_unique<DocumentMemories>(*document_);
    view_ = new CQuenbarView(this);
    view_->SetOfflineMemories(documentMemories_.get());
    setCentralWidget(view_);
    BindDocument();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    BindViewCommands();
    BindUnitState();
    UpdateCommandStates();
    // The frame fits the form (adjustSize would cap it at part of the screen).
    resize(sizeHint());
}

QAction* CMainFrame::AddCommand(int id, const QString& text, const QString& prompt, const QString& tip)
{
    auto* action = new QAction(text, this);
    action->setStatusTip(prompt);
    action->setToolTip(tip);
    action->setData(id);
    commands_[id] = action;
    return action;
}

QAction* CMainFrame::Command(int id) const
{
    const auto found = commands_.find(id);
    return found == commands_.end() ? nullptr : found->second;
}

// The File menu works on the document; then a memory file to and from
// its JSON form; its last two commands move the whole document to and from
// a connected unit.
QMenu* CMainFrame::CreateFileMenu()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    const struct {
        int id;
        const char* text;
        const char* prompt;
        QKeySequence::StandardKey key;
        bool (CQuenbarDoc::*handler)();
    } documentCommands[] = {
        {kIdFileNew, "&New", "Create a new document", QKeySequence::New, &CQuenbarDoc::OnFileNew},
        {kIdFileOpen, "&Open...", "Open an existing document", QKeySequence::Open, &CQuenbarDoc::OnFileOpen},
        {kIdFileSave, "&Save", "Save the active document", QKeySequence::Save, &CQuenbarDoc::OnFileSave},
        {kIdFileSaveAs, "Save &As...", "Save the active document with a new name", QKeySequence::SaveAs,
         &CQuenbarDoc::OnFileSaveAs},
    };
    for (const auto& command : documentCommands) {
        const QString text = QString::fromLatin1(command.text);
        QAction* action = AddCommand(command.id, text, QString::fromLatin1(command.prompt), QString(text).remove('&'));
        action->setShortcut(command.key);
        connect(action, &QAction::triggered, document_, command.handler);
        file->addAction(action);
    }
    // The JSON form of a memory file, file to file beside the document.
    file->addSeparator();
    QAction* exportJson = AddCommand(kIdExportJson, QStringLiteral("E&xport Memory File as JSON..."),
                                     QStringLiteral("Write a memory file as a JSON document in units"),
                                     QStringLiteral("Export Memory File as JSON"));
    connect(exportJson, &QAction::triggered, this, [this] { ExportMemoryFileAsJson(this); });
    file->addAction(exportJson);
    QAction* importJson = AddCommand(kIdImportJson, QStringLiteral("&Import Memory File from JSON..."),
                                     QStringLiteral("Write the memory file a JSON document describes"),
                                     QStringLiteral("Import Memory File from JSON"));
    connect(importJson, &QAction::triggered, this, [this] { ImportMemoryFileFromJson(this); });
    file->addAction(importJson);
    file->addSeparator();
    QAction* send = AddCommand(kIdSendToUnit, QStringLiteral("Send Document to &Unit"),
                               QStringLiteral("Store the document's memories into the unit"),
                               QStringLiteral("Send Document to Unit"));
    connect(send, &QAction::triggered, document_, &CQuenbarDoc::OnSendToUnit);
    QAction* read = AddCommand(kIdReadFromUnit, QStringLiteral("&Read Unit into Document"),
                               QStringLiteral("Read the unit's memories and current setting into the document"),
                               QStringLiteral("Read Unit into Document"));
    connect(read, &QAction::triggered, document_, &CQuenbarDoc::OnReadFromUnit);
    file->addAction(send);
    file->addAction(read);
    connect(file, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    return file;
}

// Undo and Redo of the setting's changes, naming the step they would take.
void CMainFrame::CreateEditMenu()
{
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    const auto [undo, redo] = EditHistory::AddCommandsTo(this);
    const std::tuple<int, QAction*, const char*> commands[] = {
        {kIdUndo, undo, "Undo the last change of the setting"},
        {kIdRedo, redo, "Redo the change undone last"},
    };
    for (const auto& [id, action, prompt] : commands) {
        action->setStatusTip(QString::fromLatin1(prompt));
        action->setData(id);
        commands_[id] = action;
        edit->addAction(action);
    }
    CreateAbCommands(edit);
    connect(&TheEditHistory(), &EditHistory::unitSettingDiffered, this, [this] {
        statusBar()->showMessage(
            QStringLiteral("The unit holds another setting than the window showed: a new history starts from it."));
    });
}

// A and B: keep the setting as either, switch to either (the tool bar's A
// and B, checked on the active side and starred once the setting drifted
// from it), or over to the other one (Ctrl+T).
void CMainFrame::CreateAbCommands(QMenu* edit)
{
    ab_ = new AbSwitch(this);
    edit->addSeparator();
    const std::tuple<int, const char*, const char*, std::function<void()>> commands[] = {
        {kIdKeepA, "Keep as &A", "Keep the current setting as A", [this] { ab_->Keep(AbSide::A); }},
        {kIdKeepB, "Keep as &B", "Keep the current setting as B", [this] { ab_->Keep(AbSide::B); }},
        {kIdSwitchA, "A", "Switch to the setting kept as A", [this] { ab_->SwitchTo(AbSide::A); }},
        {kIdSwitchB, "B", "Switch to the setting kept as B", [this] { ab_->SwitchTo(AbSide::B); }},
        {kIdSwitchOver, "Switch A/&B", "Switch to the other of A and B", [this] { ab_->SwitchOver(); }},
    };
    for (const auto& [id, text, prompt, handler] : commands) {
        const QString caption = QString::fromLatin1(text);
        QAction* action = AddCommand(id, caption, QString::fromLatin1(prompt), QString(caption).remove('&'));
        connect(action, &QAction::triggered, this, handler);
        if (id != kIdSwitchA && id != kIdSwitchB) edit->addAction(action);
    }
    Command(kIdSwitchOver)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    for (const int id : {kIdSwitchA, kIdSwitchB}) Command(id)->setCheckable(true);
    connect(ab_, &AbSwitch::changed, this, &CMainFrame::FollowAb);
    FollowAb();
}

void CMainFrame::FollowAb()
{
    for (const auto& [id, side] : {std::pair{kIdSwitchA, AbSide::A}, std::pair{kIdSwitchB, AbSide::B}}) {
        QAction* action = Command(id);
        action->setEnabled(ab_->Sides().Kept(side));
        action->setChecked(ab_->Sides().Active() == side);
        action->setText(ab_->Caption(side));
    }
    Command(kIdSwitchOver)->setEnabled(ab_->Sides().Kept(AbSide::A) || ab_->Sides().Kept(AbSide::B));
}

void CMainFrame::CreateMenus()
{
    QMenu* file = CreateFileMenu();
    CreateEditMenu();
    QMenu* config = menuBar()->addMenu(QStringLiteral("&Config"));
    config->addAction(
        AddCommand(kIdConnect, QStringLiteral("&Connect"), QStringLiteral("Connect"), QStringLiteral("Connect")));
    config->addAction(AddCommand(kIdDisconnect, QStringLiteral("&Disconnect"), QStringLiteral("Disconnect"),
                                 QStringLiteral("Disconnect")));
    config->addSeparator();
    config->addAction(AddCommand(kIdRs232, QStringLiteral("&RS232"), QStringLiteral("RS232"), QStringLiteral("RS232")));
    config->addSeparator();
    config->addAction(AddCommand(kIdMemory, QStringLiteral("&Memory"), QStringLiteral("Memory Manage"),
                                 QStringLiteral("Memory Manage")));
    QAction* measure = AddCommand(kIdMeasure, QStringLiteral("Mea&sure..."),
                                  QStringLiteral("Measure the outputs through the sound card"),
                                  QStringLiteral("Measure"));
    connect(measure, &QAction::triggered, this, &CMainFrame::ShowMeasureWindow);
    config->addAction(measure);
    QAction* tune = AddCommand(kIdTune, QStringLiteral("&Tune System..."),
                               QStringLiteral("Measure the system, propose its alignment, levels and PEQ, apply them"),
                               QStringLiteral("Tune System"));
    connect(tune, &QAction::triggered, this, &CMainFrame::ShowTuneWindow);
    config->addAction(tune);
    QAction* live = AddCommand(kIdLive, QStringLiteral("&Live..."),
                               QStringLiteral("Watch the system on whatever plays, with the edits on its time line"),
                               QStringLiteral("Live"));
    connect(live, &QAction::triggered, this, &CMainFrame::ShowLiveWindow);
    config->addAction(live);
    QAction* report = AddCommand(kIdSettingsReport, QStringLiteral("Settings &Report..."),
                                 QStringLiteral("Write the current setting and its response as a PDF page"),
                                 QStringLiteral("Settings Report"));
    connect(report, &QAction::triggered, this, [this] { SaveSettingsReport(this); });
    config->addAction(report);
    config->addSeparator();
    QAction* exit =
        AddCommand(kIdExit, QStringLiteral("&Exit"), QStringLiteral("Quit the application"), QStringLiteral("Exit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);
    config->addAction(exit);
    connect(config, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    // Exit ends the File menu too, where it is looked for first.
    file->addSeparator();
    file->addAction(exit);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    QAction* toolbar = AddCommand(kIdViewToolbar, QStringLiteral("&Toolbar"),
                                  QStringLiteral("Show or hide the toolbar"), QStringLiteral("Toggle ToolBar"));
    QAction* statusbar = AddCommand(kIdViewStatusBar, QStringLiteral("&Status Bar"),
                                    QStringLiteral("Show or hide the status bar"), QStringLiteral("Toggle StatusBar"));
    for (QAction* toggle : {toolbar, statusbar}) {
        toggle->setCheckable(true);
        toggle->setChecked(true);
        view->addAction(toggle);
    }
    view->addSeparator();
    QAction* response = AddCommand(kIdViewResponse, QStringLiteral("&Response"),
                                   QStringLiteral("Show the response of both channels"), QStringLiteral("Response"));
    connect(response, &QAction::triggered, this, &CMainFrame::ShowResponseWindow);
    view->addAction(response);
    QAction* log = AddCommand(kIdViewCommunicationLog, QStringLiteral("Communication &Log"),
                              QStringLiteral("Show the traffic with the unit"), QStringLiteral("Communication Log"));
    connect(log, &QAction::triggered, this, [this] { ShowCommunicationLog(this, UnitLink()); });
    view->addAction(log);
    // The check marks follow the bars, which the user may also close or undock.
    connect(view, &QMenu::aboutToShow, this, [this, toolbar, statusbar] {
        toolbar->setChecked(!toolBar_->isHidden());
        statusbar->setChecked(!statusBar()->isHidden());
    });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* about = AddCommand(kIdAbout, QStringLiteral("&About..."),
                                QStringLiteral("Display program information, version number and copyright"),
                                QStringLiteral("About"));
    connect(about, &QAction::triggered, this, &CMainFrame::aboutRequested);
    help->addAction(about);
}

void CMainFrame::CreateToolBar()
{
    toolBar_ = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar_->setObjectName(QStringLiteral("toolbar"));
    toolBar_->setIconSize(QSize(kToolbarImageWidth, kToolbarImageHeight));
    toolBar_->setMovable(true);
    toolBar_->setFloatable(true);
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    const std::pair<int, ToolbarImage> buttons[] = {
        {kIdConnect, ToolbarImage::Connect},
        {kIdDisconnect, ToolbarImage::Disconnect},
        {kIdRs232, ToolbarImage::Rs232},
        {kIdMemory, ToolbarImage::Memory},
    };
    for (const auto& [id, image] : buttons) {
        Command(id)->setIcon(QIcon(DrawToolbarImage(image)));
        toolBar_->addAction(Command(id));
    }
    toolBar_->addSeparator();
    toolBar_->addAction(Command(kIdSwitchA));
    toolBar_->addAction(Command(kIdSwitchB));
    toolBar_->addSeparator();
    Command(kIdAbout)->setIcon(QIcon(DrawToolbarImage(ToolbarImage::About)));
    toolBar_->addAction(Command(kIdAbout));
    addToolBar(Qt::TopToolBarArea, toolBar_);

    connect(Command(kIdViewToolbar), &QAction::toggled, toolBar_, &QWidget::setVisible);
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    ready_ = new QLabel(QStringLiteral("Ready"));
    bar->addWidget(ready_, 1);
    std::array<QLabel*, 3> locks{};
    const char* const names[] = {"CAP", "NUM", "SCRL"};
    for (std::size_t i = 0; i < locks.size(); ++i) {
        locks[i] = new QLabel(QString::fromLatin1(names[i]));
        locks[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addPermanentWidget(locks[i]);
    }
    new KeyboardLockIndicators(locks, this);
    connect(Command(kIdViewStatusBar), &QAction::toggled, bar, &QWidget::setVisible);
}

QString CMainFrame::StatusText() const
{
    const QString message = statusBar()->currentMessage();
    return message.isEmpty() ? ready_->text() : message;
}

void CMainFrame::BindViewCommands()
{
    const std::pair<int, void (CQuenbarView::*)()> handlers[] = {
        {kIdConnect, &CQuenbarView::OnConnect},
        {kIdDisconnect, &CQuenbarView::OnDisconnect},
        {kIdRs232, &CQuenbarView::OnRs232},
        {kIdMemory, &CQuenbarView::OnMemory},
    };
    for (const auto& [id, handler] : handlers) {
        connect(Command(id), &QAction::triggered, view_, handler);
        connect(Command(id), &QAction::triggered, this, &CMainFrame::UpdateCommandStates);
    }
    connect(view_, &CQuenbarView::connectionChanged, this, &CMainFrame::UpdateCommandStates);
}

void CMainFrame::ShowResponseWindow()
{
    if (response_ == nullptr) response_ = new CResponseWindow(this);
    response_->show();
    response_->raise();
    response_->activateWindow();
}

void CMainFrame::ShowMeasureWindow()
{
    if (measure_ == nullptr) {
        measure_ = new CMeasureWindow(this);
        connect(measure_, &CMeasureWindow::useForFit, this, [this](const PositionsResult& measurement) {
            ShowResponseWindow();
            UseForFit(*response_->Tuning(), measurement);
        });
        connect(measure_, &CMeasureWindow::measuringChanged, this, &CMainFrame::UpdateCommandStates);
    }
    measure_->show();
    measure_->raise();
    measure_->activateWindow();
}

void CMainFrame::ShowTuneWindow()
{
    if (tune_ == nullptr) {
        tune_ = new CTuneWindow(this);
        connect(tune_, &CTuneWindow::runningChanged, this, &CMainFrame::UpdateCommandStates);
    }
    tune_->show();
    tune_->raise();
    tune_->activateWindow();
}

void CMainFrame::ShowLiveWindow()
{
    if (live_ == nullptr) live_ = new CLiveWindow(this);
    live_->show();
    live_->raise();
    live_->activateWindow();
}

// While an operation runs on the unit, nothing starts another one and the
// blocks open no sheet on a setting that is about to change.
void CMainFrame::BindUnitState()
{
    connect(&UnitTasks(), &UnitTaskRunner::busyChanged, this, &CMainFrame::UpdateCommandStates);
    auto* unitState = new UnitStatePane(ready_, this);
    connect(view_, &CQuenbarView::connectionChanged, unitState, &UnitStatePane::FollowConnection);
}

void CMainFrame::UpdateCommandStates()
{
    // A measurement drives the unit's mutes: it is work on the unit too.
    const bool idle =
        !UnitTasks().Busy() && !(measure_ && measure_->Measuring()) && !(tune_ && tune_->Running());
    const ConnectionCommandStates states = CommandStatesFor(model.connected != 0);
    Command(kIdConnect)->setEnabled(states.connect && idle);
    Command(kIdDisconnect)->setEnabled(states.disconnect && idle);
    Command(kIdRs232)->setEnabled(idle);
    Command(kIdMemory)->setEnabled(idle);
    // A document is neither replaced nor moved while the unit works.
    for (const int id : {kIdFileNew, kIdFileOpen}) Command(id)->setEnabled(idle);
    for (const int id : {kIdSendToUnit, kIdReadFromUnit}) Command(id)->setEnabled(states.disconnect && idle);
    view_->SetBlocksEnabled(idle);
}

void CMainFrame::BindDocument()
{
    connect(document_, &CQuenbarDoc::changed, this, [this] { setWindowTitle(document_->Title()); });
    connect(view_, &CQuenbarView::connectionChanged, document_, &CQuenbarDoc::FollowConnection);
    connect(view_, &CQuenbarView::channelSettingsClosed, document_, &CQuenbarDoc::TakeCurrentFromModel);
    setWindowTitle(document_->Title());
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // The measurement puts the unit's mutes back through the event loop
    // first; the program closes once it has.
    if (measure_ && measure_->Measuring()) {
        measure_->CancelMeasuring();
        connect(measure_, &CMeasureWindow::measuringChanged, this, &QWidget::close, Qt::SingleShotConnection);
        event->ignore();
        return;
    }
    if (tune_ && tune_->Running()) {
        tune_->Cancel();
        connect(tune_, &CTuneWindow::runningChanged, this, &QWidget::close, Qt::SingleShotConnection);
        event->ignore();
        return;
    }
    if (document_->SaveModified())
        event->accept();
    else
        event->ignore();
}
