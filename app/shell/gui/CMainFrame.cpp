#include "app/shell/gui/CMainFrame.h"

#include "app/graphs/gui/CChildFrame.h"
#include "app/shell/gui/CAboutDlg.h"
#include "app/shell/gui/GuiResources.h"
#include "common/platform/KnownFolders.h"
#include "common/platform/Registry.h"
#include "driver/Torvane.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>

#include <algorithm>

namespace {

namespace platform = FenmarlCommonDLL::platform;

void put32(std::uint8_t* p, std::int32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
}

std::int32_t get32(const std::uint8_t* p)
{
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
        static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

// Room around a status pane's text for its sunken frame.
constexpr int paneMargin = 8;

// A status pane: one line, as wide as the longest text it is meant for, in
// whatever font it ends up with; a longer text is cut short with "…" and
// shown whole in its tip.
class StatusPane : public QLabel
{
public:
    StatusPane(const QString& widest, QWidget* parent) : QLabel(parent), widest_(widest)
    {
        setWordWrap(false);
        setTextFormat(Qt::PlainText);
        if (!widest_.isEmpty()) {
            setFrameStyle(QFrame::Panel | QFrame::Sunken);
            setAlignment(Qt::AlignCenter);
        }
        fit();
    }

    void setFullText(const QString& text)
    {
        full_ = text;
        // Several lines (the failed tests) are shown as one.
        full_.replace(QLatin1Char('\n'), QStringLiteral(", "));
        refresh();
    }

protected:
    void changeEvent(QEvent* event) override
    {
        QLabel::changeEvent(event);
        // The program's font is settled only once the window is shown.
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) fit();
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        refresh();
    }

private:
    void fit()
    {
        if (!widest_.isEmpty())
            setFixedWidth(fontMetrics().horizontalAdvance(widest_) + 2 * frameWidth() + paneMargin);
        refresh();
    }
    void refresh()
    {
        const int room = contentsRect().width() - 2;
        const QString shown = room > 0 ? fontMetrics().elidedText(full_, Qt::ElideRight, room) : full_;
        setText(shown);
        setToolTip(shown == full_ ? QString() : full_);
    }

    QString widest_;
    QString full_;
};

constexpr int windowPaneCommands[] = {CMainFrame::ID_WINDOW_TOP_TIME, CMainFrame::ID_WINDOW_TOP_FREQUENCY,
                                      CMainFrame::ID_WINDOW_BOTTOM_TIME,
                                      CMainFrame::ID_WINDOW_BOTTOM_FREQUENCY};

} // namespace

std::array<std::uint8_t, CMainFrame::placementSize> CMainFrame::encodePlacement(const Placement& p)
{
    // length, flags, show command, minimised and maximised positions, normal rectangle
    std::array<std::uint8_t, placementSize> bytes{};
    const std::int32_t fields[11] = {static_cast<std::int32_t>(placementSize),
                                     0,
                                     p.showCommand,
                                     -1,
                                     -1,
                                     -1,
                                     -1,
                                     p.left,
                                     p.top,
                                     p.right,
                                     p.bottom};
    for (int i = 0; i < 11; ++i)
        put32(bytes.data() + 4 * i, fields[i]);
    return bytes;
}

std::optional<CMainFrame::Placement> CMainFrame::decodePlacement(const std::uint8_t* data, std::size_t size)
{
    if (!data || size != placementSize || get32(data) != static_cast<std::int32_t>(placementSize))
        return std::nullopt;
    Placement p;
    p.showCommand = get32(data + 8);
    p.left = get32(data + 28);
    p.top = get32(data + 32);
    p.right = get32(data + 36);
    p.bottom = get32(data + 40);
    const long long width = static_cast<long long>(p.right) - p.left;
    const long long height = static_cast<long long>(p.bottom) - p.top;
    if (width < 100 || height < 100 || width > 30000 || height > 30000 || std::abs(p.left) > 30000 ||
        std::abs(p.top) > 30000)
        return std::nullopt;
    return p;
}

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent)
{
    initGuiResources();
    setWindowTitle(QStringLiteral("Tesselon-6"));
    setWindowIcon(QIcon(QStringLiteral(":/tesselon/tesselon-6.png")));
    mdi_ = new QMdiArea(this);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    buildMenus();
    buildToolBar();
    buildStatusBar();
    // The size it takes when not maximised, wide enough for every status pane.
    resize(std::max(1100, statusBar()->sizeHint().width()), 760);
    connect(mdi_, &QMdiArea::subWindowActivated, alive_.get(), [this] {
        // The cursor readouts belong to the window they were read in.
        clearReadouts();
        updateCommandStates();
    });
    updateCommandStates();
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::action(int id) const
{
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QAction* CMainFrame::addCommand(QMenu* menu, int id, const QString& text, const QKeySequence& shortcut)
{
    QAction* a = menu->addAction(text);
    a->setData(id);
    if (!shortcut.isEmpty()) a->setShortcut(shortcut);
    actions_[id] = a;
    return a;
}

void CMainFrame::buildMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    addCommand(file, ID_FILE_NEW, tr("&New"), QKeySequence::New);
    addCommand(file, ID_FILE_OPEN, tr("&Open..."), QKeySequence::Open);
    connect(addCommand(file, ID_FILE_CLOSE, tr("&Close"), QKeySequence(tr("Ctrl+F4"))), &QAction::triggered,
            this, [this] { mdi_->closeActiveSubWindow(); });
    connect(addCommand(file, ID_CLOSE_ALL, tr("Close &All")), &QAction::triggered, this,
            &CMainFrame::closeAll);
    file->addSeparator();
    // Spelled out: the desktop-neutral key bindings have no Save As keys.
    addCommand(file, ID_FILE_SAVE_AS, tr("Save &As..."), QKeySequence(tr("Ctrl+Shift+S")));
    file->addSeparator();
    QMenu* exportMenu = file->addMenu(tr("&Export"));
    addCommand(exportMenu, ID_EXPORT_DATA, tr("&Data..."));
    addCommand(exportMenu, ID_EXPORT_CSV, tr("&CSV..."));
    addCommand(exportMenu, ID_EXPORT_WAV, tr("&WAV..."));
    connect(addCommand(exportMenu, ID_EXPORT_GRAPHICS, tr("&Graphics...")), &QAction::triggered, this,
            [this] {
                if (CChildFrame* child = activeChildFrame()) child->exportGraphics();
            });
    connect(addCommand(file, ID_FILE_PRINT, tr("&Print..."), QKeySequence::Print), &QAction::triggered, this,
            [this] {
                if (CChildFrame* child = activeChildFrame()) child->printGraph();
            });
    file->addSeparator();
    for (int i = 0; i < recentFileCount; ++i) {
        QAction* recent = addCommand(file, ID_FILE_MRU_FIRST + i, tr("%1 Recent File").arg(i + 1));
        recent->setVisible(i == 0);
        connect(recent, &QAction::triggered, this, [this, i] {
            if (i < recentFiles_.size()) emit recentFileChosen(recentFiles_[i]);
        });
    }
    file->addSeparator();
    connect(addCommand(file, ID_APP_EXIT, tr("E&xit"), QKeySequence::Quit), &QAction::triggered, this,
            &QWidget::close);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QMenu* copy = edit->addMenu(tr("&Copy"));
    addCommand(copy, ID_COPY_DATA, tr("&Data"), QKeySequence::Copy);
    connect(addCommand(copy, ID_COPY_GRAPHICS, tr("&Graphics..."), QKeySequence(tr("Ctrl+Shift+C"))),
            &QAction::triggered, this, [this] {
                if (CChildFrame* child = activeChildFrame()) child->copyGraphics();
            });

    QMenu* view = menuBar()->addMenu(tr("&View"));
    QAction* toolBarToggle = addCommand(view, ID_VIEW_TOOLBAR, tr("&Tool Bar"));
    toolBarToggle->setCheckable(true);
    toolBarToggle->setChecked(true);
    QAction* statusToggle = addCommand(view, ID_VIEW_STATUS_BAR, tr("&Status Bar"));
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);
    connect(statusToggle, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
    view->addSeparator();
    connect(addCommand(view, ID_SHOW_DEBUG_WINDOW, tr("Show &Debug Window")), &QAction::triggered, this,
            &CMainFrame::showDebugWindowRequested);

    QMenu* scan = menuBar()->addMenu(tr("&Scan"));
    addCommand(scan, ID_DETECT_INSTRUMENTS, tr("&Detect Instruments..."), QKeySequence(tr("Ctrl+D")));
    addCommand(scan, ID_CONFIGURE, tr("&Configure..."), QKeySequence(tr("F7")));
    addCommand(scan, ID_RUN, tr("&Run"), QKeySequence(tr("F5")));
    addCommand(scan, ID_STOP, tr("&Stop"), QKeySequence(tr("Shift+F5")));
    scan->addSeparator();
    addCommand(scan, ID_PROPERTIES, tr("P&roperties..."), QKeySequence(tr("Alt+Return")));
    addCommand(scan, ID_POST_PROCESS, tr("&Post Process..."));
    QAction* mute = addCommand(scan, ID_MUTE, tr("&Mute Alert"));
    mute->setStatusTip(tr("Mutes the audio alert sound"));

    QMenu* data = menuBar()->addMenu(tr("&Data"));
    addCommand(data, ID_DATA_SETTINGS, tr("&Settings..."));
    data->addSeparator();
    addCommand(data, ID_INPUT1_MEAN, tr("Input 1 Mean"));
    addCommand(data, ID_INPUT2_MEAN, tr("Input 2 Mean"));

    QMenu* window = menuBar()->addMenu(tr("&Window"));
    QMenu* group1 = window->addMenu(tr("Input Group 1"));
    QMenu* group2 = window->addMenu(tr("Input Group 2"));
    for (int kind = 0; kind < 4; ++kind) {
        QMenu* group = kind < 2 ? group1 : group2;
        QAction* a =
            addCommand(group, windowPaneCommands[kind], kind % 2 == 0 ? tr("Time") : tr("Frequency"));
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, kind] { windowPaneToggled(kind); });
    }
    window->addSeparator();
    connect(addCommand(window, ID_WINDOW_CASCADE, tr("&Cascade")), &QAction::triggered, mdi_,
            &QMdiArea::cascadeSubWindows);
    connect(addCommand(window, ID_WINDOW_TILE, tr("&Tile")), &QAction::triggered, mdi_,
            &QMdiArea::tileSubWindows);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    connect(addCommand(help, ID_OPEN_LOG_FOLDER, tr("Open &Log File Folder")), &QAction::triggered, this,
            &CMainFrame::openLogFolder);
    help->addSeparator();
    connect(addCommand(help, ID_APP_ABOUT, tr("&About Tesselon-6..."), QKeySequence::HelpContents),
            &QAction::triggered, this, &CMainFrame::showAbout);

    // Hidden commands: actions of the window itself, so their keys work without a menu entry.
    for (const auto& [id, keys] : {std::pair{ID_REPEAT_TEST, "Ctrl+Alt+Shift+T"},
                                   std::pair{ID_REPEAT_TEST_2, "Ctrl+Alt+Shift+R"}}) {
        auto* hidden = new QAction(this);
        hidden->setData(id);
        hidden->setShortcut(QKeySequence(QString::fromLatin1(keys)));
        addAction(hidden);
        actions_[id] = hidden;
    }
}

namespace {

// The style has no printer among its standard pictures; drawn like the usual one.
QIcon printerIcon()
{
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5.5, 1.5, 9, 7)); // paper going in
    p.setBrush(QColor(150, 150, 150));
    p.drawRoundedRect(QRectF(1.5, 7.5, 17, 8), 2, 2); // body
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5.5, 12.5, 9, 6)); // paper coming out
    p.setPen(QColor(60, 60, 60));
    p.drawLine(QPointF(7, 15), QPointF(13, 15));
    p.setBrush(QColor(0, 170, 0));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(15, 9.5, 2, 2)); // power light
    return QIcon(pixmap);
}

} // namespace

void CMainFrame::buildToolBar()
{
    QToolBar* bar = addToolBar(QStringLiteral("Tool Bar"));
    bar->setObjectName(QStringLiteral("Tool Bar"));
    bar->setIconSize(QSize(20, 20));
    QStyle* s = style();
    const std::pair<int, QStyle::StandardPixmap> buttons[] = {
        {ID_FILE_NEW, QStyle::SP_FileIcon},
        {ID_FILE_OPEN, QStyle::SP_DialogOpenButton},
        {ID_FILE_PRINT, QStyle::SP_CustomBase},
        {0, QStyle::SP_CustomBase},
        {ID_DETECT_INSTRUMENTS, QStyle::SP_DriveHDIcon},
        {ID_CONFIGURE, QStyle::SP_FileDialogDetailedView},
        {ID_RUN, QStyle::SP_MediaPlay},
        {ID_STOP, QStyle::SP_MediaStop},
        {0, QStyle::SP_CustomBase},
        {ID_APP_ABOUT, QStyle::SP_MessageBoxInformation},
    };
    for (const auto& [id, icon] : buttons) {
        if (id == 0) {
            bar->addSeparator();
            continue;
        }
        QAction* a = action(id);
        a->setIcon(id == ID_FILE_PRINT ? printerIcon() : s->standardIcon(icon));
        bar->addAction(a);
    }
    connect(action(ID_VIEW_TOOLBAR), &QAction::toggled, bar, &QToolBar::setVisible);
    connect(bar, &QToolBar::visibilityChanged, action(ID_VIEW_TOOLBAR), &QAction::setChecked);
}

void CMainFrame::buildStatusBar()
{
    // Widths as runs of characters: the longest text each pane shows ("%.6g"
    // readouts, the longest graph name and result, the largest counts), so
    // that all of them fit beside each other in a 1024-pixel window.
    const std::map<int, QString> widest = {
        {xReadoutPane, QStringLiteral("X = -8.88888e-88")},
        {yReadoutPane, QStringLiteral("Y = -8.88888e-88")},
        {graphNamePane, QStringLiteral("Bottom Frequency")},
        {passFailPane, QStringLiteral("Fail Input 1 Frequency")},
        {scanStatusPane, QStringLiteral("Sample 700000 of 700000, Average 1000 of 1000")},
        {input1Pane, QStringLiteral("Input1 Off")},
        {input2Pane, QStringLiteral("Input2 Off")}};
    for (int id : paneIds) {
        auto* label = new StatusPane(id == 0 ? QString() : widest.at(id), this);
        label->setObjectName(QStringLiteral("pane%1").arg(id));
        panes_[id] = label;
        if (id == 0) {
            // The message gives way when the window is narrow, never the fixed panes.
            label->setMinimumWidth(0);
            label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            statusBar()->addWidget(label, 1);
            continue;
        }
        // Fixed widths, so a changing text never moves or overprints its neighbours.
        statusBar()->addPermanentWidget(label);
    }
    setPaneText(0, tr("Ready"));
    setPaneText(scanStatusPane, QStringLiteral("Idle"));
    setPaneText(input1Pane, QStringLiteral("Input1 Off"));
    setPaneText(input2Pane, QStringLiteral("Input2 Off"));
}

QString CMainFrame::paneText(int paneId) const
{
    const auto it = fullTexts_.find(paneId);
    return it == fullTexts_.end() ? QString() : it->second;
}

void CMainFrame::setPaneText(int paneId, const QString& text)
{
    const auto it = panes_.find(paneId);
    if (it == panes_.end()) return;
    QLabel* pane = it->second;
    static_cast<StatusPane*>(pane)->setFullText(text);
    fullTexts_[paneId] = text;
    if (paneId == passFailPane && text.isEmpty()) {
        // No result: no colour either.
        pane->setAutoFillBackground(false);
        pane->setPalette(QPalette());
    }
}

void CMainFrame::setPassFail(const QString& text, bool pass)
{
    passed_ = pass;
    QLabel* pane = panes_.at(passFailPane);
    // "Fail" and the failed tests on one line: "Fail Input 1 Time, Input 2 Time".
    QString line = text;
    const int first = line.indexOf(QLatin1Char('\n'));
    if (first >= 0) line.replace(first, 1, QLatin1Char(' '));
    setPaneText(passFailPane, line);
    pane->setAutoFillBackground(true);
    QPalette p = pane->palette();
    p.setColor(QPalette::Window, passFailColour());
    p.setColor(QPalette::WindowText, pass ? Qt::black : Qt::white);
    pane->setPalette(p);
}

QColor CMainFrame::passFailColour() const
{
    return passed_ ? QColor(0, 255, 0) : QColor(255, 0, 0);
}

CChildFrame* CMainFrame::activeChildFrame() const
{
    QMdiSubWindow* sub = mdi_->activeSubWindow();
    if (!sub && !mdi_->subWindowList().isEmpty()) sub = mdi_->currentSubWindow();
    return sub ? qobject_cast<CChildFrame*>(sub->widget()) : nullptr;
}

CChildFrame* CMainFrame::addChildFrame(const QString& title)
{
    auto* child = new CChildFrame;
    child->setWindowTitle(title);
    QMdiSubWindow* sub = mdi_->addSubWindow(child);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(windowIcon());
    // The scan windows outlive this object's own members during destruction, so
    // their notices are tied to alive_, which goes first.
    QObject* alive = alive_.get();
    connect(child, &CChildFrame::readoutsChanged, alive, [this](const QString& x, const QString& y) {
        setPaneText(xReadoutPane, x);
        setPaneText(yReadoutPane, y);
    });
    connect(child, &CChildFrame::cursorGraphChanged, alive,
            [this](const QString& graphName) { setPaneText(graphNamePane, graphName); });
    connect(child, &CChildFrame::readoutsCleared, alive, [this] { clearReadouts(); });
    connect(child, &CChildFrame::panesChanged, alive, [this] { updateCommandStates(); });
    connect(sub, &QObject::destroyed, alive, [this] {
        clearReadouts();
        updateCommandStates();
    });
    sub->showMaximized();
    mdi_->setActiveSubWindow(sub);
    updateCommandStates();
    return child;
}

void CMainFrame::clearReadouts()
{
    for (int id : {xReadoutPane, yReadoutPane, graphNamePane})
        setPaneText(id, QString());
}

void CMainFrame::setInstrumentOpen(bool open)
{
    instrumentOpen_ = open;
    updateCommandStates();
}

void CMainFrame::setScanThreadActive(bool active)
{
    scanThreadActive_ = active;
    updateCommandStates();
}

CommandRules::Facts CMainFrame::commandFacts() const
{
    CommandRules::Facts facts;
    facts.activeWindow = activeChildFrame() != nullptr;
    facts.anyWindow = !mdi_->subWindowList().isEmpty();
    facts.instrumentOpen = instrumentOpen_;
    facts.scanActive = scanThreadActive_;
    facts.recentFiles = static_cast<int>(recentFiles_.size());
    if (factsProvider_) factsProvider_(facts);
    return facts;
}

void CMainFrame::updateCommandStates()
{
    const CommandRules::Facts facts = commandFacts();
    for (const auto& [id, a] : actions_)
        if (const CommandRules::Rule* rule = CommandRules::Find(id)) a->setEnabled(rule->enabled(facts));
    CChildFrame* child = activeChildFrame();
    for (int kind = 0; kind < 4; ++kind)
        action(windowPaneCommands[kind])->setChecked(child && child->isPaneShown(kind));
}

void CMainFrame::setFactsProvider(FactsProvider provider)
{
    factsProvider_ = std::move(provider);
    updateCommandStates();
}

void CMainFrame::setRecentFiles(const QStringList& files)
{
    recentFiles_ = files.mid(0, recentFileCount);
    for (int i = 0; i < recentFileCount; ++i) {
        QAction* a = action(ID_FILE_MRU_FIRST + i);
        if (i < recentFiles_.size()) {
            // "&1 name" as file menus number them; the full path is in the tip.
            const QString name = QFileInfo(recentFiles_[i]).fileName();
            a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(name));
            a->setStatusTip(recentFiles_[i]);
            a->setToolTip(recentFiles_[i]);
            a->setVisible(true);
        } else {
            a->setText(tr("%1 Recent File").arg(i + 1));
            a->setVisible(i == 0 && recentFiles_.isEmpty());
        }
    }
    updateCommandStates();
}

void CMainFrame::windowPaneToggled(int kind)
{
    if (CChildFrame* child = activeChildFrame()) child->togglePane(kind);
    updateCommandStates();
}

void CMainFrame::showAbout()
{
    const bool open = IsDeviceOpen();
    CAboutDlg about(open, open && IsUSBTwo(), this);
    about.exec();
}

void CMainFrame::openLogFolder()
{
    const QString folder =
        QString::fromStdString((platform::applicationDataFolder() / "Tesselon" / "Logs").string());
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void CMainFrame::closeAll()
{
    if (scanThreadActive_ || (closeAllGuard_ && !closeAllGuard_())) return;
    mdi_->closeAllSubWindows();
    updateCommandStates();
}

void CMainFrame::showFirstTime()
{
    if (placementRestored_) {
        show();
        return;
    }
    placementRestored_ = true;
    platform::RegistryKey key;
    std::array<std::uint8_t, placementSize> bytes{};
    std::optional<Placement> placement;
    if (key.open(platform::RegistryRoot::CurrentUser, placementKey, false) == 0 &&
        key.queryBinary(placementValue, bytes.data(), bytes.size()) == 0)
        placement = decodePlacement(bytes.data(), bytes.size());
    if (!placement) {
        showMaximized();
        return;
    }
    // The record holds the window's outer corner (title bar included) and its
    // client size. A screen that got smaller or moved since must not leave
    // the title bar, and with it the only handle to move the window, out of reach.
    QRect wanted(placement->left, placement->top, placement->right - placement->left,
                 placement->bottom - placement->top);
    QScreen* screen = QGuiApplication::screenAt(wanted.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect available = screen->availableGeometry();
        wanted.setWidth(std::min(wanted.width(), available.width()));
        wanted.setHeight(std::min(wanted.height(), available.height()));
        wanted.moveLeft(std::clamp(wanted.left(), available.left(), available.right() - wanted.width() + 1));
        wanted.moveTop(std::clamp(wanted.top(), available.top(), available.bottom() - wanted.height() + 1));
    }
    resize(wanted.size());
    move(wanted.topLeft());
    if (placement->showCommand == 3)
        showMaximized();
    else
        showNormal(); // a window closed minimised comes back normal
}

void CMainFrame::savePlacement()
{
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    // The outer corner: the client corner less the title bar and border.
    const QPoint frameOffset = geometry().topLeft() - frameGeometry().topLeft();
    Placement p;
    p.showCommand = isMaximized() ? 3 : (isMinimized() ? 2 : 1);
    p.left = normal.left() - frameOffset.x();
    p.top = normal.top() - frameOffset.y();
    p.right = p.left + normal.width();
    p.bottom = p.top + normal.height();
    const auto bytes = encodePlacement(p);
    platform::RegistryKey key;
    if (key.create(platform::RegistryRoot::CurrentUser, placementKey) == 0)
        key.setBinary(placementValue, bytes.data(), bytes.size());
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    savePlacement();
    QMainWindow::closeEvent(event);
}
