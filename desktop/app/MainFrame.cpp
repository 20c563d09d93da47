#include "app/MainFrame.h"

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "app/Identity.h"
#include "app/QuenbarView.h"
#include "app/ToolbarImages.h"
#include "app/UnitLink.h"
#include "graph/ExportFiles.h"
#include "graph/ResponseWindow.h"

ConnectionCommandStates CommandStatesFor(bool connected) { return {!connected, connected}; }

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QString::fromLatin1(kMainWindowTitle));
    setWindowIcon(ProgramIcon());
    view_ = new CQuenbarView(this);
    setCentralWidget(view_);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    BindViewCommands();
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

void CMainFrame::CreateMenus()
{
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
    // Qt cannot read the keyboard's lock state, so the indicators stay greyed.
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* pane = new QLabel(QString::fromLatin1(indicator));
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setEnabled(false);
        bar->addPermanentWidget(pane);
    }
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

void CMainFrame::UpdateCommandStates()
{
    const ConnectionCommandStates states = CommandStatesFor(model.connected != 0);
    Command(kIdConnect)->setEnabled(states.connect);
    Command(kIdDisconnect)->setEnabled(states.disconnect);
}
