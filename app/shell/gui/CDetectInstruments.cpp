#include "app/shell/gui/CDetectInstruments.h"

#include "app/shell/InstrumentDetection.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <mutex>

// The bus reports arrivals on its own thread. The guard lets that thread queue
// a detection only while the dialog lives: the destructor clears it under the
// same mutex before QObject drops the dialog's pending calls.
struct CDetectInstruments::PostGuard
{
    std::mutex mutex;
    CDetectInstruments* dialog = nullptr;

    void post()
    {
        std::lock_guard<std::mutex> hold(mutex);
        if (!dialog) return;
        CDetectInstruments* target = dialog;
        QMetaObject::invokeMethod(
            target, [target] { target->runDetection(); }, Qt::QueuedConnection);
    }
};

CDetectInstruments::CDetectInstruments(InstrumentDetection& detection, QWidget* parent)
    : QDialog(parent), detection_(detection), guard_(std::make_shared<PostGuard>())
{
    guard_->dialog = this;
    setWindowTitle(QStringLiteral("Available Instruments"));
    setObjectName(QStringLiteral("CDetectInstruments"));

    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setMinimumSize(320, 120);
    status_ = new QLabel(this);
    status_->setMinimumWidth(320);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(status_);
    layout->addWidget(buttons_);

    connect(buttons_, &QDialogButtonBox::accepted, this, &CDetectInstruments::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &CDetectInstruments::reject);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!refreshing_) detection_.select(row);
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) { accept(); });

    detection_.setOnChanged([this] { refresh(); });
    refresh();
}

CDetectInstruments::~CDetectInstruments()
{
    {
        std::lock_guard<std::mutex> hold(guard_->mutex);
        guard_->dialog = nullptr;
    }
    stopWatching();
    detection_.setOnChanged({});
}

bool CDetectInstruments::run(InstrumentDetection& detection, QWidget* parent)
{
    CDetectInstruments dialog(detection, parent);
    dialog.exec();
    return dialog.connected();
}

QPushButton* CDetectInstruments::okButton() const
{
    return buttons_->button(QDialogButtonBox::Ok);
}

void CDetectInstruments::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (watching_) return;
    watching_ = true;
    detection_.startWatching([guard = guard_] { guard->post(); });
    // Queued, so the dialog paints before the first search blocks.
    guard_->post();
}

void CDetectInstruments::stopWatching()
{
    if (!watching_) return;
    watching_ = false;
    detection_.stopWatching();
}

void CDetectInstruments::runDetection()
{
    // A search queued before the dialog closed finds nobody to show it; one that
    // arrives while OK opens the chosen instrument would empty the list under it.
    if (!watching_ || connecting_) return;
    detection_.detect();
    refresh();
}

void CDetectInstruments::refresh()
{
    refreshing_ = true;
    status_->setText(QString::fromStdString(detection_.statusText()));
    const auto entries = detection_.entries();
    QStringList names;
    for (const auto& entry : entries)
        names << QString::fromStdString(entry);
    QStringList shown;
    for (int i = 0; i < list_->count(); ++i)
        shown << list_->item(i)->text();
    if (shown != names) {
        list_->clear();
        list_->addItems(names);
    }
    const int selection = detection_.selection();
    if (list_->currentRow() != selection) list_->setCurrentRow(selection);
    okButton()->setEnabled(detection_.okEnabled());
    refreshing_ = false;
    // The search blocks the thread; what it says must be on screen before it starts.
    if (isVisible()) repaint();
}

void CDetectInstruments::accept()
{
    if (!okButton()->isEnabled()) return;
    detection_.select(list_->currentRow());
    connecting_ = true;
    connected_ = detection_.connect();
    connecting_ = false;
    // The dialog closes with OK whatever came of it: a failure has had its message box.
    QDialog::accept();
}

void CDetectInstruments::done(int result)
{
    stopWatching();
    QDialog::done(result);
}
