#include "cquenmardlg.h"

#include "appsettings.h"

#include "artresource.h"
#include "cfadepicture.h"
#include "cimagebutton.h"
#include "clock.h"
#include "colorref.h"
#include "crangeslider.h"
#include "ctasklistctrl.h"
#include "cvideoedit.h"
#include "dialogtemplate.h"
#include "outputnaming.h"
#include "profilefile.h"
#include "programfolder.h"
#include "progressdisplay.h"
#include "taskcells.h"
#include "taskedits.h"
#include "tasklistfile.h"
#include "tasklog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolTip>

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
    return widget;
}

QLabel* makeLabel(QWidget* parent, int id)
{
    auto* label = make<QLabel>(parent, id);
    label->setText(captionOf(id));
    return label;
}

// The rectangles were measured for a narrower face than some systems have: a label
// whose text would be cut gets a slightly smaller font instead.
void fitText(QLabel* label)
{
    QFont font = label->font();
    while (font.pixelSize() > 9 &&
           QFontMetrics(font).horizontalAdvance(label->text()) > label->width())
        font.setPixelSize(font.pixelSize() - 1);
    label->setFont(font);
}

// A profile's name may be longer than its box: the open list is as wide as the longest
// name, and the box's tooltip shows the chosen one whole.
void showWholeNames(QComboBox* box)
{
    QAbstractItemView* view = box->view();
    const QFontMetrics metrics(view->font());
    int widest = 0;
    for (int i = 0; i < box->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(box->itemText(i)));
    const int scrollBar = view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    view->setMinimumWidth(widest + 2 * view->frameWidth() + scrollBar + 16);
    box->setToolTip(box->currentText());
}

} // namespace

void fitCaption(QMessageBox& box)
{
    // The window manager writes the caption in a bold face beside its icon and buttons;
    // a box only as wide as a short text would cut it ("Inf...ion").
    QFont bold = box.font();
    bold.setBold(true);
    const int needed = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + kCaptionChrome;
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label)
        return;
    // Only ever wider than the text: a narrower minimum would cut the text instead.
    const bool wrap = label->wordWrap();
    label->setWordWrap(false);
    const int natural = label->sizeHint().width();
    label->setWordWrap(wrap);
    if (natural < needed)
        label->setMinimumWidth(needed);
}

CQuenmarDlg::CQuenmarDlg(const Services& services, QWidget* parent)
    : QWidget(parent), m_services(services)
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

    createControls();
    m_converter = m_services.converter ? m_services.converter : m_video->converter();
    m_preview = m_services.preview ? m_services.preview : m_video->preview();

    m_driver = std::make_unique<BatchDriver>(m_tasks, m_batch, *m_converter, *this,
                                             m_services.power ? *m_services.power : noPower());
    m_driver->setAppFolder(appFolder());
    m_driver->setJobs(storedJobs());

    OnInitDialog();
    connectControls();
    followRunningTasks();
    setUpLogs();
    qApp->installEventFilter(this);
}

CQuenmarDlg::~CQuenmarDlg()
{
    qApp->removeEventFilter(this);
    // A window destroyed during a batch still stops it, so no encoder outlives it.
    if (m_driver && m_driver->converting())
        stopForClose();
    if (m_keeper)
        m_keeper->saveIfChanged();
}

void CQuenmarDlg::createControls()
{
    m_settingsFrame = make<QGroupBox>(this, IdSettingsFrame);
    m_listFrame = make<QGroupBox>(this, IdListFrame);

    m_list = make<CTaskListCtrl>(this, IdTaskList);
    m_add = make<CImageButton>(this, IdAdd);
    m_remove = make<CImageButton>(this, IdRemove);
    m_removeAll = make<CImageButton>(this, IdRemoveAll);
    m_folderLabel = makeLabel(this, IdOutputFolderLabel);
    m_folderEdit = make<QLineEdit>(this, IdOutputFolder);
    m_browse = make<QPushButton>(this, IdBrowse);
    m_browse->setText(captionOf(IdBrowse));

    m_fade = make<CFadePicture>(this, IdFadePicture);
    m_video = make<CVideoEdit>(this, IdMediaComponent);
    m_play = make<CImageButton>(this, IdPlay);
    m_stopPreview = make<CImageButton>(this, IdStopPreview);
    m_slider = make<CRangeSlider>(this, IdRangeSlider);

    m_exportTypeLabel = makeLabel(this, IdExportTypeLabel);
    m_exportMp4 = make<QRadioButton>(this, IdExportMp4);
    m_exportMp4->setText(captionOf(IdExportMp4));
    m_exportWmv = make<QRadioButton>(this, IdExportWmv);
    m_exportWmv->setText(captionOf(IdExportWmv));
    auto* radios = new QButtonGroup(this);
    radios->addButton(m_exportMp4, 0);
    radios->addButton(m_exportWmv, 1);

    m_titleLabel = makeLabel(this, IdTitleLabel);
    m_titleEdit = make<QLineEdit>(this, IdTitle);
    m_mp4ProfileLabel = makeLabel(this, IdMp4ProfileLabel);
    m_mp4Profile = make<QComboBox>(this, IdMp4Profile);
    m_wmvProfileLabel = makeLabel(this, IdWmvProfileLabel);
    m_wmvProfile = make<QComboBox>(this, IdWmvProfile);
    for (QComboBox* profile : {m_mp4Profile, m_wmvProfile})
        connect(profile, &QComboBox::currentTextChanged, profile, &QWidget::setToolTip);
    makeLabel(this, IdAudioTrackLabel);
    m_audioTrack = make<QComboBox>(this, IdAudioTrack);
    makeLabel(this, IdSubtitlesLabel);
    m_subtitles = make<QComboBox>(this, IdSubtitles);
    m_audioTrack->setEnabled(false);
    m_subtitles->setEnabled(false);

    for (int id = kFirstSetting; id <= kLastSetting; ++id) {
        auto* combo = make<QComboBox>(this, id);
        combo->addItems(settingItems(id));
        m_settings[size_t(id - kFirstSetting)] = combo;
    }
    for (int labelId : {1037, 1038, 1039, 1040, 1041, 1042, 1043, 1044, 1045})
        makeLabel(this, labelId);

    m_shutDown = make<QCheckBox>(this, IdShutDown);
    m_shutDown->setText(captionOf(IdShutDown));
    m_help = make<QPushButton>(this, IdHelp);
    m_help->setText(captionOf(IdHelp));
    m_start = make<CImageButton>(this, IdStart);
    m_stop = make<CImageButton>(this, IdStop);

    // Enter does nothing in this window, so no button is ever its default: the style
    // would frame a default button like the focused one.
    for (QPushButton* button : {m_browse, m_help})
        button->setAutoDefault(false);

    // A style sheet on the application stops fonts from reaching children by
    // inheritance, so each control gets the window's font itself.
    for (QWidget* child : findChildren<QWidget*>())
        child->setFont(font());

    // The frames lie behind everything else.
    m_settingsFrame->lower();
    m_listFrame->lower();
}

void CQuenmarDlg::OnInitDialog()
{
    pushExportRadioValue();
    // The window menu is the window manager's on this platform; there is no place
    // for an "About" item in it.
    setWindowIcon(m_icon);

    if (m_services.skin) {
        for (int id : {1025, 1027, 1029, 1028, 1032, 1030, 1026, 1031, 1033})
            m_services.skin(5, {handle(setting(id)), 1});
        for (QWidget* button : std::initializer_list<QWidget*>{
                 m_add, m_remove, m_removeAll, m_start, m_stop, m_play, m_stopPreview})
            m_services.skin(6, {handle(button), 1});
    }

    m_list->InsertColumn(0, QStringLiteral("Source"), Qt::AlignLeft, 120);
    m_list->InsertColumn(1, QStringLiteral("Begin Time"), Qt::AlignHCenter, 70);
    m_list->InsertColumn(2, QStringLiteral("End Time"), Qt::AlignHCenter, 70);
    m_list->InsertColumn(3, QStringLiteral("Export"), Qt::AlignLeft, 100);
    m_list->InsertColumn(4, QStringLiteral("Progress"), Qt::AlignLeft, 250);
    m_list->SetExtendedStyle(CTaskListCtrl::ExFullRowSelect | CTaskListCtrl::ExGridLines,
                             CTaskListCtrl::ExFullRowSelect);
    m_list->SetExtendedStyle(CTaskListCtrl::ExCheckBoxes, CTaskListCtrl::ExCheckBoxes);

    setUpImageButtons();
    nameControls();

    const Mp4ProfileChoice profiles = LoadMp4Profiles(appFolder());
    if (profiles.filled) {
        m_mp4Profile->clear();
        m_mp4Profile->addItems(profiles.items);
        m_mp4Profile->setCurrentIndex(profiles.selectIndex);
    }
    showWholeNames(m_mp4Profile);
    m_folderEdit->setEnabled(false);
    fillWmvProfiles();
    ResetSettings();

    m_stop->hide();
    m_video->hide();
    m_fade->StartFade(191, 100);

    placeControls();
    orderTabStops();
    fitColumns();
    m_exportRadioValue = 0;
    pushExportRadioValue();
    m_exportMode = 0;
    ApplyExportMode(0);

    readOutputFolder();
    updateControls();
    m_background = art::pixmap(art::Kind::Bitmap, 185);
    setCaption();
    restoreTasks();
}

void CQuenmarDlg::fitColumns()
{
    // The widths above were measured for another face. Here the Progress column is as
    // wide as its longest usual text, the times as wide as theirs, and Source and Export
    // share what is left, so that the list never needs a horizontal scroll bar, even
    // once the vertical one shows.
    const QFontMetrics metrics(m_list->font());
    const int barMargins = 12; // the bar's frame and edges, and a little air
    const int progress =
        metrics.horizontalAdvance(QStringLiteral("    100.00%  999.99MB   Remain Time:00:00:00")) +
        barMargins;
    const int time = std::max(metrics.horizontalAdvance(QStringLiteral("Begin Time")),
                              metrics.horizontalAdvance(QStringLiteral("00:00:00.0"))) +
                     10;
    const int scrollBar = m_list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list);
    const int room = m_list->width() - 2 * m_list->frameWidth() - scrollBar - 1;
    const int rest = std::max(room - progress - 2 * time, 2 * 60);
    // A list made wider gives the room to the Source column.
    const int exportWidth = std::max(rest - m_extraRoom.width(), 2 * 60) / 2;
    m_list->SetColumnWidth(ColumnSource, rest - exportWidth);
    m_list->SetColumnWidth(ColumnBegin, time);
    m_list->SetColumnWidth(ColumnEnd, time);
    m_list->SetColumnWidth(ColumnExport, exportWidth);
    m_list->SetColumnWidth(ColumnProgress, progress);
}

void CQuenmarDlg::setUpImageButtons()
{
    struct IconButton
    {
        CImageButton* button;
        int hot, normal;
        const char* tip;
    };
    const ColorRef frame = rgbRef(49, 66, 97);
    for (const IconButton& b : {
             IconButton{m_add, 138, 137, "Add a video to converting task"},
             IconButton{m_remove, 136, 135, "Remove selected video"},
             IconButton{m_removeAll, 140, 139, "Remove all videos"},
             IconButton{m_start, 148, 147, "Start Converting"},
             IconButton{m_stop, 145, 146, "Stop Converting"},
         }) {
        b.button->SetIconPair(b.hot, b.normal, 0);
        b.button->UseParentBackground(false);
        b.button->ShowFlatBorder(false);
        b.button->SetImageAlignment(CImageButton::ImageAbove);
        b.button->SetStateColor(CImageButton::TextNormal, frame);
        b.button->SetStateColor(CImageButton::TextHot, rgbRef(20, 20, 20));
        b.button->SetStateColor(CImageButton::TextFocused, frame);
        b.button->SetStateColor(CImageButton::BackHot, frame);
        b.button->SetTipText(QString::fromLatin1(b.tip), true);
    }
    const ColorRef green = rgbRef(0, 255, 0);
    m_play->SetBitmapPair(203, green, 202, green);
    m_stopPreview->SetBitmapPair(192, green, 210, green);
    for (CImageButton* b : {m_play, m_stopPreview}) {
        b->UseParentBackground(false);
        b->ShowFlatBorder(false);
    }
    m_play->SetTipText(QStringLiteral("Preview selected videos"), true);
    m_stopPreview->SetTipText(QStringLiteral("Stop preview"), true);
}

void CQuenmarDlg::fillWmvProfiles()
{
    const MediaCollection profiles = m_converter->WmvProfiles();
    const short count = profiles.Count();
    for (short i = 0; i < count; ++i) {
        QString description = profiles.Description(i);
        qsizetype lead = 0;
        while (lead < description.size() && description.at(lead).isSpace())
            ++lead;
        description.remove(0, lead);
        if (!description.isEmpty())
            m_wmvProfile->addItem(description);
    }
    if (m_wmvProfile->count() >= 1)
        m_wmvProfile->setCurrentIndex(0);
    showWholeNames(m_wmvProfile);
}

void CQuenmarDlg::placeControls()
{
    for (const Control& control : controls()) {
        QWidget* widget =
            findChild<QWidget*>(QString::number(control.id), Qt::FindDirectChildrenOnly);
        if (!widget)
            continue;
        widget->setGeometry(control.rect);
        if (auto* label = qobject_cast<QLabel*>(widget))
            fitText(label);
        if (control.id == IdTitleLabel || control.id == IdTitle)
            widget->hide();
    }
}

void CQuenmarDlg::setExtraRoom(const QSize& extra)
{
    if (extra == m_extraRoom)
        return;
    m_extraRoom = extra;
    const int dx = extra.width();
    const int dy = extra.height();
    // The list and its frame grow; what stands right of the list or below it moves along.
    for (const Control& control : controls()) {
        QRect rect = control.rect;
        switch (control.id) {
        case IdListFrame:
        case IdTaskList:
            rect.adjust(0, 0, dx, dy);
            break;
        case IdSettingsFrame:
        case IdOutputFolder:
            rect.adjust(0, 0, dx, 0);
            break;
        case IdBrowse:
        case IdAdd:
        case IdRemove:
        case IdRemoveAll:
            rect.translate(dx, 0);
            break;
        case IdStart:
        case IdStop:
            rect.translate(dx, dy);
            break;
        case IdHelp:
        case IdTitleLabel:
        case IdTitle:
        case IdAudioTrackLabel:
        case IdAudioTrack:
        case IdSubtitlesLabel:
        case IdSubtitles:
            rect.translate(0, dy);
            break;
        default:
            continue;
        }
        if (QWidget* widget =
                findChild<QWidget*>(QString::number(control.id), Qt::FindDirectChildrenOnly))
            widget->setGeometry(rect);
    }
    fitColumns();
}

void CQuenmarDlg::pushExportRadioValue()
{
    // -1 unchecks both, which an exclusive group does not allow by itself.
    QButtonGroup* group = m_exportMp4->group();
    group->setExclusive(false);
    m_exportMp4->setChecked(m_exportRadioValue == 0);
    m_exportWmv->setChecked(m_exportRadioValue == 1);
    group->setExclusive(true);
}

void CQuenmarDlg::connectControls()
{
    connect(m_list, &CTaskListCtrl::cellRequest, this, &CQuenmarDlg::onCellRequest,
            Qt::DirectConnection);
    for (auto signal : {&CTaskListCtrl::clicked, &CTaskListCtrl::rightClicked,
                        &CTaskListCtrl::doubleClicked, &CTaskListCtrl::rightDoubleClicked})
        connect(m_list, signal, this, &CQuenmarDlg::FollowSelection);

    connect(m_add, &QPushButton::clicked, this, &CQuenmarDlg::OnAdd);
    connect(m_remove, &QPushButton::clicked, this, &CQuenmarDlg::OnRemove);
    connect(m_removeAll, &QPushButton::clicked, this, &CQuenmarDlg::OnRemoveAll);
    connect(m_browse, &QPushButton::clicked, this, &CQuenmarDlg::OnBrowse);
    connect(m_help, &QPushButton::clicked, this, &CQuenmarDlg::OnHelp);
    connect(m_start, &QPushButton::clicked, this, &CQuenmarDlg::OnStart);
    connect(m_stop, &QPushButton::clicked, m_driver.get(), &BatchDriver::stopConverting);
    connect(m_driver.get(), &BatchDriver::taskChanged, this, &CQuenmarDlg::redrawTask);
    connect(m_play, &QPushButton::clicked, this, &CQuenmarDlg::OnPlay);
    connect(m_stopPreview, &QPushButton::clicked, this, &CQuenmarDlg::OnStopPreview);

    connect(m_titleEdit, &QLineEdit::textChanged, this, &CQuenmarDlg::OnTitleChanged);
    // activated: only the user's choices, as the program's own selections notify nothing.
    connect(m_mp4Profile, &QComboBox::activated, this, &CQuenmarDlg::OnMp4ProfileChanged);
    connect(m_wmvProfile, &QComboBox::activated, this, &CQuenmarDlg::OnWmvProfileChanged);
    connect(m_audioTrack, &QComboBox::activated, this, &CQuenmarDlg::OnTrackChoiceChanged);
    connect(m_subtitles, &QComboBox::activated, this, &CQuenmarDlg::OnTrackChoiceChanged);
    for (int id = kFirstSetting; id <= kLastSetting; ++id)
        connect(setting(id), &QComboBox::activated, this, [this, id] { OnSettingChanged(id); });
    connect(m_exportMp4, &QRadioButton::clicked, this, &CQuenmarDlg::SwitchToMp4);
    connect(m_exportWmv, &QRadioButton::clicked, this, &CQuenmarDlg::SwitchToWmv);

    connect(m_slider, &CRangeSlider::rangeChanged, this, &CQuenmarDlg::OnRangeChanged,
            Qt::DirectConnection);
    connect(m_preview, &MediaPreview::PlayEnded, this, &CQuenmarDlg::OnPlayEnded);
}

void CQuenmarDlg::onCellRequest(CellRequest* request)
{
    if (!m_tasks.isValidIndex(request->item))
        return;
    const QStringList* planned = request->subItem == ColumnExport ? &plannedNames() : nullptr;
    ::onCellRequest(*request, m_tasks, m_batch.wmvClock(tickCount()), m_batch.wmvStartTick,
                    planned);
}

const QStringList& CQuenmarDlg::plannedNames()
{
    // Planned again when a name, a type or the folder changed, and at least every second
    // for files that appeared in the folder meanwhile.
    QString key = m_folderEdit->text();
    for (int i = 0; i < m_tasks.size(); ++i) {
        const Task task = m_tasks.get(i);
        key += QChar(0x1E) + task.exportName + QChar(0x1F) + QString::number(task.exportType) +
               QChar(0x1F) + task.sourcePath + QChar(0x1F) + task.outputPath;
    }
    if (key != m_planKey || !m_planAge.isValid() || m_planAge.elapsed() > 1000) {
        m_planKey = key;
        m_planAge.start();
        m_plannedNames = planOutputNames(m_tasks, m_folderEdit->text());
    }
    return m_plannedNames;
}

void CQuenmarDlg::showConverting(bool converting)
{
    // The button that takes the other's place takes its focus too: Space stops what
    // Space started.
    CImageButton* shown = converting ? m_stop : m_start;
    CImageButton* hidden = converting ? m_start : m_stop;
    const bool hadFocus = hidden->hasFocus();
    shown->setVisible(true);
    hidden->setVisible(false);
    if (hadFocus)
        shown->setFocus(Qt::OtherFocusReason);
    updateControls();
}

bool CQuenmarDlg::shutdownWhenFinished() const
{
    return m_shutDown->isChecked();
}

void CQuenmarDlg::showMessage(const QString& text, const QString& caption, MessageIcon icon)
{
    // The user closed the window during the batch: no message pops up after it.
    if (m_closing)
        return;
    if (m_messageBox) {
        m_messageBox(text, caption, icon);
        return;
    }
    const QMessageBox::Icon shown = icon == MessageIcon::Stop      ? QMessageBox::Critical
                                    : icon == MessageIcon::Warning ? QMessageBox::Warning
                                                                   : QMessageBox::NoIcon;
    QMessageBox box(shown, caption, text, QMessageBox::Ok, this);
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        label->setAlignment(Qt::AlignCenter);
    fitCaption(box);
    box.exec();
}

void CQuenmarDlg::redrawTask(int row)
{
    // What a batch changes in a row: the name of the file it writes, and its progress.
    m_list->InvalidateCells(row, row, ColumnExport, false);
    m_list->InvalidateCells(row, row, ColumnProgress, false);
}

bool CQuenmarDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip && watched == m_list->viewport()) {
        auto* help = static_cast<QHelpEvent*>(event);
        int column = -1;
        const int row = m_list->HitTest(help->pos(), &column);
        const QString tip = cellToolTip(m_tasks, row, column);
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, m_list->viewport());
        return true;
    }
    if (PreTranslateMessage(watched, event))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool CQuenmarDlg::PreTranslateMessage(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        // During a batch a click must not move the list's selection away from the Task
        // the controls show: the click is refused as a whole.
        return watched == m_list->viewport() && converting();
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || (widget != this && !isAncestorOf(widget)))
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)
        return true;
    // Ctrl+O adds videos wherever the keys are, as in any program that opens files.
    if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Open)) {
        if (!converting())
            OnAdd();
        return true;
    }
    if (type != QEvent::KeyPress || (widget != m_list && widget != m_list->viewport()))
        return false;
    // Tab leaves the list also during a batch, or the keyboard could reach nothing else.
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
        return false;
    if (converting())
        return true;
    return handleListKey(*static_cast<QKeyEvent*>(event));
}

bool CQuenmarDlg::handleListKey(const QKeyEvent& event)
{
    // Delete and Insert as in a file manager's list, Ctrl+O as in any program that opens.
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (event.matches(QKeySequence::Open) ||
        (event.key() == Qt::Key_Insert && modifiers == Qt::NoModifier)) {
        OnAdd();
        return true;
    }
    if (event.key() == Qt::Key_Delete && modifiers == Qt::NoModifier) {
        OnRemove();
        return true;
    }
    const int key = event.key();
    const int m = m_list->GetSelectionMark();
    const int n = m_tasks.size();
    int target = -1;
    switch (key) {
    case Qt::Key_PageDown:
        if (m < n - 1)
            target = std::min(m + 3, n - 1);
        break;
    case Qt::Key_PageUp:
        if (m > 0)
            target = std::max(m - 3, 0);
        break;
    case Qt::Key_Up:
        if (m > 0)
            target = m - 1;
        break;
    case Qt::Key_Down:
        if (m < m_list->GetItemCount() - 1)
            target = m + 1;
        break;
    case Qt::Key_Home:
        if (n >= 1)
            target = 0;
        break;
    case Qt::Key_End:
        if (n >= 1)
            target = n - 1;
        break;
    default:
        return false;
    }
    if (target >= 0) {
        m_selected = target;
        LoadTask(m_selected);
    }
    SelectRow(m_selected);
    return true;
}

void CQuenmarDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_background.isNull())
        painter.fillRect(rect(), palette().window());
    else
        painter.drawPixmap(rect(), m_background);
}
