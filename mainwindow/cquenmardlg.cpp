#include "mainwindow/cquenmardlg.h"

#include "engine/appsettings.h"
#include "engine/clock.h"
#include "engine/programfolder.h"
#include "engine/tasklistfile.h"
#include "engine/tasklog.h"
#include "mainwindow/dialogtemplate.h"
#include "mainwindow/outputfolderpanel.h"
#include "mainwindow/previewpanel.h"
#include "mainwindow/settingspanel.h"
#include "mainwindow/tasklistpanel.h"
#include "mainwindow/trackchoices.h"
#include "media/cvideoedit.h"
#include "media/mediacatalog.h"
#include "resources/artresource.h"
#include "widgets/cfadepicture.h"
#include "widgets/cimagebutton.h"
#include "widgets/colorref.h"
#include "widgets/crangeslider.h"
#include "widgets/ctasklistctrl.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

using namespace dialog102;

namespace {

// Used when the program is given no way to power the machine off.
class NoPowerControl : public PowerControl
{
public:
    void powerOff(Done done) override { done(Outcome::Refused); }
};

NoPowerControl& noPower()
{
    static NoPowerControl none;
    return none;
}

QVariant handle(QObject* object)
{
    return QVariant::fromValue(object);
}

template <typename W> W* make(QWidget* parent, int id)
{
    auto* widget = new W(parent);
    widget->setObjectName(QString::number(id));
    const QString caption = captionOf(id);
    if constexpr (std::is_same_v<W, QLabel> || std::is_same_v<W, QPushButton> ||
                  std::is_same_v<W, QRadioButton> || std::is_same_v<W, QCheckBox>)
        widget->setText(caption);
    return widget;
}

// The rectangles were measured for a narrower face than some systems have: a label
// whose text would be cut gets a slightly smaller font instead. The size is given as a
// style of the label's own, as a skin's style sheet polishing the label would give it
// the window's font again.
void fitText(QLabel* label)
{
    QFont font = label->font();
    while (font.pixelSize() > 8 &&
           QFontMetrics(font).horizontalAdvance(label->text()) > label->width())
        font.setPixelSize(font.pixelSize() - 1);
    if (font.pixelSize() == label->font().pixelSize())
        return;
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("font-size: %1px;").arg(font.pixelSize()));
}

} // namespace

CQuenmarDlg::CQuenmarDlg(const Services& services, QWidget* parent)
    : QWidget(parent), m_services(services), m_sizes(appFolder(), wmvBitRates)
{
    setObjectName(QStringLiteral("102"));
    m_icon = QIcon(art::pixmap(art::Kind::Icon, 128));
    QFont font;
    // The layout is measured for a narrow 8-point face: Liberation Sans, which the
    // package depends on. Without it, the names after it are faces of the same width;
    // the skin's colours stay readable under any of them.
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica"),
                      QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(11);
    setFont(font);
    // Texts stand on the dark background picture, skinned or not.
    QPalette texts = palette();
    texts.setColor(QPalette::WindowText, QColor(236, 232, 255));
    setPalette(texts);
    setAcceptDrops(true);
    m_dialogs.owner = this;

    createControls();
    auto* video = static_cast<CVideoEdit*>(control(IdMediaComponent));
    m_converter = m_services.converter ? m_services.converter : video->converter();
    m_preview = m_services.preview ? m_services.preview : video->preview();

    m_driver = std::make_unique<BatchDriver>(m_tasks, m_batch, *m_converter, *this,
                                             m_services.power ? *m_services.power : noPower());
    m_driver->setAppFolder(appFolder());
    m_driver->setJobs(storedJobs());
    m_editor.setBusy([this] { return converting(); });

    createParts();
    connectParts();
    OnInitDialog();
    setUpLogs();
}

CQuenmarDlg::~CQuenmarDlg()
{
    // A window destroyed during a batch still stops it, so no encoder outlives it.
    if (m_driver && m_driver->converting())
        stopForClose();
    if (m_keeper)
        m_keeper->saveIfChanged();
}

QWidget* CQuenmarDlg::control(int id) const
{
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void CQuenmarDlg::createControls()
{
    auto* settingsFrame = make<QGroupBox>(this, IdSettingsFrame);
    auto* listFrame = make<QGroupBox>(this, IdListFrame);
    auto* footFrame = make<QGroupBox>(this, IdFootFrame);
    make<CTaskListCtrl>(this, IdTaskList);
    for (int id : {IdAdd, IdRemove, IdRemoveAll, IdPlay, IdStopPreview})
        make<CImageButton>(this, id);
    make<QLabel>(this, IdOutputFolderLabel);
    make<QLineEdit>(this, IdOutputFolder);
    auto* browse = make<QPushButton>(this, IdBrowse);
    make<CFadePicture>(this, IdFadePicture);
    make<CVideoEdit>(this, IdMediaComponent);
    make<CRangeSlider>(this, IdRangeSlider);
    make<QLabel>(this, IdExportTypeLabel);
    make<QRadioButton>(this, IdExportMp4);
    make<QRadioButton>(this, IdExportWmv);
    for (int id : std::initializer_list<int>{IdTitleLabel, IdMp4ProfileLabel, IdWmvProfileLabel,
                                             IdAudioTrackLabel, IdSubtitlesLabel, 1037, 1038, 1039,
                                             1040, 1041, 1042, 1043, 1044, 1045})
        make<QLabel>(this, id);
    make<QLineEdit>(this, IdTitle);
    for (int id : {IdMp4Profile, IdWmvProfile, IdAudioTrack, IdSubtitles})
        make<QComboBox>(this, id);
    for (int id = kFirstSetting; id <= kLastSetting; ++id)
        make<QComboBox>(this, id)->addItems(settingItems(id));
    m_shutDown = make<QCheckBox>(this, IdShutDown);
    auto* help = make<QPushButton>(this, IdHelp);
    m_start = make<CImageButton>(this, IdStart);
    m_stop = make<CImageButton>(this, IdStop);
    m_batchLine = make<QLabel>(this, IdBatchProgress);
    m_batchLine->hide(); // shown once there is something to convert

    // Enter does nothing in this window, so no button is ever its default: the style
    // would frame a default button like the focused one.
    for (QPushButton* button : {browse, help})
        button->setAutoDefault(false);
    // A style sheet on the application stops fonts from reaching children by
    // inheritance, so each control gets the window's font itself.
    for (QWidget* child : findChildren<QWidget*>())
        child->setFont(font());
    // The frames lie behind everything else.
    for (QGroupBox* frame : {settingsFrame, listFrame, footFrame})
        frame->lower();
}

void CQuenmarDlg::createParts()
{
    m_listPanel =
        new TaskListPanel(this, m_editor, *m_converter, *m_preview, *m_driver, m_batch, m_dialogs);
    m_settingsPanel = new SettingsPanel(this, m_editor, *m_converter);
    m_tracks = new TrackChoices(this, m_editor);
    m_previewPanel = new PreviewPanel(this, m_editor, *m_preview);
    m_folderPanel = new OutputFolderPanel(this, m_editor, m_dialogs);
}

void CQuenmarDlg::connectParts()
{
    // The Task the list selects is the one the other parts show.
    connect(m_listPanel, &TaskListPanel::taskSelected, m_settingsPanel, &SettingsPanel::showTask);
    connect(m_listPanel, &TaskListPanel::taskSelected, m_tracks, &TrackChoices::showTask);
    connect(m_listPanel, &TaskListPanel::taskSelected, m_previewPanel, &PreviewPanel::showTask);
    connect(m_listPanel, &TaskListPanel::tasksAdded, m_previewPanel, &PreviewPanel::showTaskArea);
    connect(m_listPanel, &TaskListPanel::tasksAdded, m_settingsPanel,
            &SettingsPanel::showTitleField);
    connect(m_settingsPanel, &SettingsPanel::newTaskChoiceChanged, m_listPanel,
            &TaskListPanel::setNewTaskChoice);
    connect(m_folderPanel, &OutputFolderPanel::folderChanged, m_listPanel,
            &TaskListPanel::setOutputFolder);
    connect(&m_editor, &TaskEditor::rowsChanged, this, &CQuenmarDlg::updateControls);

    connect(m_start, &QPushButton::clicked, this, &CQuenmarDlg::OnStart);
    connect(m_stop, &QPushButton::clicked, m_driver.get(), &BatchDriver::stopConverting);
    followBatch();
}

void CQuenmarDlg::OnInitDialog()
{
    // The window menu is the window manager's on this platform; there is no place
    // for an "About" item in it.
    setWindowIcon(m_icon);
    if (m_services.skin) {
        for (int id : {1025, 1027, 1029, 1028, 1032, 1030, 1026, 1031, 1033})
            m_services.skin(5, {handle(control(id)), 1});
        for (int id : {IdAdd, IdRemove, IdRemoveAll, IdStart, IdStop, IdPlay, IdStopPreview})
            m_services.skin(6, {handle(control(id)), 1});
    }
    setUpImageButtons();
    nameControls();
    m_settingsPanel->start();
    m_stop->hide();

    placeControls();
    fitLabels();
    orderTabStops();
    m_listPanel->fitColumns();
    m_folderPanel->start();
    updateControls();
    m_background = art::pixmap(art::Kind::Bitmap, 185);
    setCaption();
    restoreTasks();
    showBatchProgress();
}

void CQuenmarDlg::setUpImageButtons()
{
    struct IconButton
    {
        int id, hot, normal;
        const char* tip;
    };
    const ColorRef frame = rgbRef(49, 66, 97);
    for (const IconButton& b : {
             IconButton{IdAdd, 138, 137, "Add a video to converting task"},
             IconButton{IdRemove, 136, 135, "Remove selected video"},
             IconButton{IdRemoveAll, 140, 139, "Remove all videos"},
             IconButton{IdStart, 148, 147, "Start Converting"},
             IconButton{IdStop, 145, 146, "Stop Converting"},
         }) {
        auto* button = static_cast<CImageButton*>(control(b.id));
        button->SetIconPair(b.hot, b.normal, 0);
        button->UseParentBackground(false);
        button->ShowFlatBorder(false);
        button->SetImageAlignment(CImageButton::ImageAbove);
        button->SetStateColor(CImageButton::TextNormal, frame);
        button->SetStateColor(CImageButton::TextHot, rgbRef(20, 20, 20));
        button->SetStateColor(CImageButton::TextFocused, frame);
        button->SetStateColor(CImageButton::BackHot, frame);
        button->SetTipText(QString::fromLatin1(b.tip), true);
    }
    const ColorRef green = rgbRef(0, 255, 0);
    auto* play = static_cast<CImageButton*>(control(IdPlay));
    auto* stopPreview = static_cast<CImageButton*>(control(IdStopPreview));
    play->SetBitmapPair(203, green, 202, green);
    stopPreview->SetBitmapPair(192, green, 210, green);
    for (CImageButton* b : {play, stopPreview}) {
        b->UseParentBackground(false);
        b->ShowFlatBorder(false);
    }
    play->SetTipText(QStringLiteral("Preview selected videos"), true);
    stopPreview->SetTipText(QStringLiteral("Stop preview"), true);
}

void CQuenmarDlg::placeControls()
{
    for (const Control& c : controls()) {
        QWidget* widget = control(c.id);
        if (!widget)
            continue;
        widget->setGeometry(c.rect);
        // The title comes with the first Task.
        if (c.id == IdTitleLabel || c.id == IdTitle)
            widget->hide();
    }
}

void CQuenmarDlg::fitLabels()
{
    for (const Control& c : controls()) {
        if (auto* label = qobject_cast<QLabel*>(control(c.id)))
            fitText(label);
    }
}

void CQuenmarDlg::setExtraRoom(const QSize& extra)
{
    if (extra == m_extraRoom)
        return;
    m_extraRoom = extra;
    const int dx = extra.width();
    const int dy = extra.height();
    // The preview takes up to half of the room, keeping its shape; the settings move
    // right beside it, the list and its frame take the rest, and what stands right of
    // the list or below it moves along.
    const QRect picture = rectOf(IdMediaComponent);
    const int h = std::min(dy / 2, dx / 2 * picture.height() / picture.width());
    const int w = h * picture.width() / picture.height();
    for (const Control& c : controls()) {
        QRect rect = c.rect;
        switch (c.id) {
        case IdMediaComponent:
        case IdFadePicture:
            rect.adjust(0, 0, w, h);
            break;
        case IdPlay:
        case IdStopPreview:
            rect.translate(0, h);
            break;
        case IdRangeSlider:
            rect.adjust(0, h, w, h);
            break;
        case IdSettingsFrame:
            rect.adjust(w, 0, dx, h);
            break;
        case IdListFrame:
        case IdTaskList:
            rect.adjust(0, h, dx, dy);
            break;
        case IdOutputFolderLabel:
            rect.translate(0, h);
            break;
        case IdOutputFolder:
            rect.adjust(0, h, dx, h);
            break;
        case IdFootFrame:
            rect.translate(0, dy);
            rect.adjust(0, 0, dx, 0);
            break;
        case IdBrowse:
        case IdAdd:
        case IdRemove:
        case IdRemoveAll:
            rect.translate(dx, h);
            break;
        case IdStart:
        case IdStop:
            rect.translate(dx, dy);
            break;
        case IdBatchProgress:
            rect.adjust(0, dy, dx, dy);
            break;
        case IdHelp:
        case IdTitleLabel:
        case IdTitle:
        case IdSubtitlesLabel:
        case IdSubtitles:
            rect.translate(0, dy);
            break;
        default:
            // The settings, right of the preview, keep their size and move with it.
            if (!rectOf(IdSettingsFrame).contains(rect))
                continue;
            rect.translate(w, 0);
            break;
        }
        if (QWidget* widget = control(c.id))
            widget->setGeometry(rect);
    }
    m_listPanel->fitColumns();
}

void CQuenmarDlg::updateControls()
{
    // While converting, nothing that the batch would ignore can be changed: the list
    // still scrolls, Stop and Help work, and the shutdown box is read at the end.
    m_listPanel->updateEnabled();
    m_folderPanel->updateEnabled();
    m_previewPanel->updateEnabled();
    m_tracks->updateEnabled();
    m_settingsPanel->updateEnabled();
}

void CQuenmarDlg::restoreTasks()
{
    if (m_services.taskListFile.isEmpty())
        return;
    m_listLock = lockTaskList(m_services.taskListFile);
    if (!m_listLock) {
        // Another window keeps the list: this one neither reads nor writes it, so that
        // neither loses the other's files.
        m_services.taskListFile.clear();
        QTimer::singleShot(0, this, [this] {
            showMessage(tr("Another Trelvo Converter window keeps the list of files.\n"
                           "This window starts with an empty list, which is not kept when "
                           "it closes."),
                        tr("Warning"), MessageIcon::Warning);
        });
        return;
    }
    m_keeper = std::make_unique<TaskListKeeper>(m_tasks, m_services.taskListFile);
    const QString message = m_keeper->restore([this] { return converting(); });
    m_keeper->attach(*m_driver);
    if (!message.isEmpty()) {
        // Shown once the window is up, not from inside its construction.
        QTimer::singleShot(0, this, [this, message] {
            showMessage(message, tr("Warning"), MessageIcon::Warning);
        });
    }
    if (m_tasks.size() > 0) {
        m_previewPanel->showTaskArea();
        m_settingsPanel->showTitleField();
        m_listPanel->RefreshRows();
        updateControls();
        m_listPanel->LoadTask(0);
    }
}

void CQuenmarDlg::setUpLogs()
{
    m_log = std::make_unique<TaskLog>(m_tasks);
    m_log->attach(*m_driver);
}

void CQuenmarDlg::setCaption()
{
    // A version stored in the settings wins; without one, the build's own, so that the
    // title always has the version that the help asks users to quote.
    QString version = storedVersion();
    if (version.isEmpty())
        version = QStringLiteral(TRELVO_VERSION);
    m_caption = QStringLiteral("Trelvo Converter V%1").arg(version);
    window()->setWindowTitle(m_caption);
    emit captionChanged(m_caption);
}

void CQuenmarDlg::AddFiles(const QStringList& paths)
{
    m_listPanel->AddFiles(paths);
}

void CQuenmarDlg::OnHelp()
{
    m_folderPanel->OnHelp();
}

QString CQuenmarDlg::addDialogFolder() const
{
    return m_listPanel->addDialogFolder();
}

QUrl CQuenmarDlg::helpUrl()
{
    return OutputFolderPanel::helpUrl();
}

int CQuenmarDlg::selectedTaskIndex() const
{
    return m_listPanel->selected();
}

int CQuenmarDlg::exportMode() const
{
    return m_settingsPanel->exportMode();
}

bool CQuenmarDlg::previewFlag() const
{
    return m_previewPanel->previewFlag();
}

bool CQuenmarDlg::seekBusy() const
{
    return m_previewPanel->seekBusy();
}

void CQuenmarDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_background.isNull())
        painter.fillRect(rect(), palette().window());
    else
        painter.drawPixmap(rect(), m_background);
}
