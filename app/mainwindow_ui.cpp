// The main window's controls at their fixed places, creation and destruction,
// drawing what the repeater reports, and the two end notifications of the player.
#include "mainwindow.h"

#include <algorithm>
#include <climits>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QAbstractTableModel>
#include <QTableView>

#include "breakpointsadapter.h"
#include "guard.h"
#include "help/aboutwindow.h"
#include "help/helpwindow.h"
#include "installpaths.h"
#include "messagetarget.h"
#include "playerports.h"
#include "resourcetable.h"
#include "shadowtakes.h"
#include "studykeeper.h"
#include "textcap.h"
#include "view/mmoscope.h"
#include "view/mmslider.h"
#include "repeatrules.h"
#include "speedladder.h"
#include "trace.h"
#include "view/waveoscope.h"
#include "widgets.h"

namespace vorel::app {

// The sentence list over the lesson's records, read as rows are shown: a list
// of a million sentences costs nothing until it is looked at.
class TSentenceRows : public QAbstractTableModel {
public:
    // The repeater is made after the list, and goes before it.
    TSentenceRows(const std::unique_ptr<repeater::TRepeater> &r, QObject *parent)
        : QAbstractTableModel(parent), r_(r) {}
    int rowCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : rows_; }
    int columnCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : 3; }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        static const char *const names[] = {"序号", "时间", "句子"};
        if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 3)
            return QString::fromUtf8(names[section]);
        return {};
    }
    QVariant data(const QModelIndex &index, int role) const override {
        const repeater::TLesson *lesson = r_ ? r_->Lesson() : nullptr;
        if (!lesson || !index.isValid() || index.row() >= live())
            return {};
        const segment::TSegmentRec &rec = lesson->segments->Items(index.row());
        if (role == Qt::DisplayRole) {
            switch (index.column()) {
            case 0:
                return QString::number(index.row() + 1);
            case 1:
                return QString::fromStdString(rec.Stamp);
            default:
                return QString::fromStdString(CapText(rec.Text, RowTextCap));
            }
        }
        if (role == Qt::CheckStateRole && index.column() == 0)
            return Qt::Checked;
        if (role == Qt::TextAlignmentRole && index.column() == 1)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight));
        return {};
    }
    // A new list, or sentences added at its end by a load.
    void Refill() {
        beginResetModel();
        rows_ = live();
        endResetModel();
    }
    void Grow() {
        const int n = live();
        if (n <= rows_)
            return Refill();
        beginInsertRows(QModelIndex(), rows_, n - 1);
        rows_ = n;
        endInsertRows();
    }

private:
    int live() const {
        const repeater::TLesson *lesson = r_ ? r_->Lesson() : nullptr;
        return lesson ? std::max(lesson->segments->Count() - 1, 0) : 0;
    }
    const std::unique_ptr<repeater::TRepeater> &r_;
    int rows_ = 0;
};

namespace {

QColor bgr(uint32_t v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); }

QString q(const std::string &s) { return QString::fromStdString(s); }

// The program's face: 13-pixel 宋体, or an installed CJK font in its place.
QFont windowFont(int pixels) {
    QFont f;
    f.setFamilies({"SimSun", "宋体", "WenQuanYi Micro Hei", "Noto Sans CJK SC"});
    f.setPixelSize(pixels);
    return f;
}

QFrame *panel(QWidget *parent, QRect r, QFrame::Shape shape, QFrame::Shadow shadow) {
    auto *p = new QFrame(parent);
    p->setGeometry(r);
    p->setFrameShape(shape);
    p->setFrameShadow(shadow);
    return p;
}

QToolButton *speedButton(QWidget *parent, QRect r, const char *glyph, const char *hint, bool enabled, bool flat) {
    auto *b = new QToolButton(parent);
    b->setGeometry(r);
    b->setIcon(QIcon(QString(":/vorel/") + glyph + ".svg"));
    b->setIconSize(QSize(16, 16));
    b->setToolTip(hint);
    b->setEnabled(enabled);
    b->setAutoRaise(flat);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QGroupBox *groupBox(QWidget *parent, QRect r, const char *title, const char *hint) {
    auto *g = new QGroupBox(title, parent);
    g->setGeometry(r);
    g->setToolTip(hint);
    QFont bold = windowFont(13);
    bold.setBold(true);
    g->setFont(bold);
    return g;
}

// Children of a bold group box take the window's normal font.
template <typename W> W *plain(W *w) {
    w->setFont(windowFont(13));
    return w;
}

QLabel *label(QWidget *parent, QPoint at, const char *text) {
    auto *l = plain(new QLabel(text, parent));
    l->move(at);
    l->adjustSize();
    return l;
}

QLabel *courierLabel(QWidget *parent, QRect r, const char *text, const char *hint) {
    auto *l = new QLabel(text, parent);
    l->setGeometry(r);
    l->setAlignment(Qt::AlignCenter);
    QFont f = windowFont(13);
    f.setFamilies({"Courier New", "Liberation Mono", "DejaVu Sans Mono", "WenQuanYi Micro Hei"});
    l->setFont(f);
    l->setToolTip(hint);
    return l;
}

QComboBox *dropDown(QWidget *parent, QRect r, const std::vector<std::string> &items, int index) {
    auto *c = plain(new QComboBox(parent));
    c->setGeometry(r);
    for (const auto &i : items)
        c->addItem(q(i));
    c->setCurrentIndex(index);
    c->setMaxVisibleItems(static_cast<int>(items.size()));
    c->setFocusPolicy(Qt::ClickFocus); // not a tab stop
    return c;
}

// A list's open view shows each item's full text (its UserRole) in place of the short name.
class TFullTextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = index.data(Qt::UserRole).toString();
    }
};

} // namespace

TfMainFree::TfMainFree(QWidget *parent) : QWidget(parent) {
    setObjectName("fMainFree");
    setWindowTitle(MainCaption);
    // Taskbars and pagers name the window by its icon name, else by its class.
    setWindowIconText(MainCaption);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(ClientWidth, ClientHeight);
    setFont(windowFont(13));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, bgr(15790320));
    setPalette(pal);
    setAutoFillBackground(true);
    dialogFolder = platform::DemoFolder();
    buildControls();
    FormCreate();
    connectControls();
    if (!bass_->HasOutput()) // said once the trace listens
        repeater_->ShowNotice(audio::NoSoundOutputNotice);
    CreateTranscript();
    CreateShadowing();
    ShowReport();
    if (QScreen *s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - QPoint(ClientWidth / 2, ClientHeight / 2));
    sl_speed->setFocus();
}

TfMainFree::~TfMainFree() { FormDestroy(); }

void TfMainFree::buildControls() {
    pMain = new QWidget(this);
    pMain->setGeometry(0, 0, 773, 173);

    pWave = panel(pMain, {7, 6, 759, 65}, QFrame::Panel, QFrame::Sunken);
    pWave->setLineWidth(1);
    Mainoscope = new view::TMMOscope(pWave);
    Mainoscope->setGeometry(2, 2, 609, 61);
    Mainoscope->SetForegroundColor(16729156);
    Mainoscope->SetInactiveColor(16764622);
    Mainoscope->SetColor(0);
    Image1 = new TLogo(pWave);
    Image1->setGeometry(612, 2, 145, 61);
    Image1->setToolTip("访问Vorel的主页和交流区");

    FlatPanel3 = panel(pMain, {7, 77, 759, 42}, QFrame::Box, QFrame::Plain);
    FlatPanel3->setStyleSheet("QFrame#FlatPanel3 { border: 1px solid rgb(160,150,131); }");
    FlatPanel3->setObjectName("FlatPanel3");
    loadfilebtn = speedButton(FlatPanel3, {6, 9, 25, 25}, "open", "打开一个音频文件", true, true);
    stopbtn = speedButton(FlatPanel3, {32, 9, 25, 25}, "stop", "停止", false, false);
    playbtn = speedButton(FlatPanel3, {58, 9, 25, 25}, "play", "播放", true, false);
    pausebtn = speedButton(FlatPanel3, {84, 9, 28, 25}, "pause", "暂停", false, false);
    prevbtn = speedButton(FlatPanel3, {111, 9, 25, 25}, "prev", "上一句", false, false);
    nextbtn = speedButton(FlatPanel3, {137, 9, 25, 25}, "next", "下一句", false, false);
    SpeedButton1 = speedButton(FlatPanel3, {163, 9, 25, 25}, "help", "软件使用帮助", true, false);
    SpeedButton2 = speedButton(FlatPanel3, {190, 9, 25, 25}, "about", "关于本软件", true, false);
    for (auto [b, name] : {std::pair{loadfilebtn, "loadfilebtn"}, {stopbtn, "stopbtn"}, {playbtn, "playbtn"},
                           {pausebtn, "pausebtn"}, {prevbtn, "prevbtn"}, {nextbtn, "nextbtn"},
                           {SpeedButton1, "SpeedButton1"}, {SpeedButton2, "SpeedButton2"}})
        b->setObjectName(name);
    shp1 = new QFrame(FlatPanel3);
    shp1->setGeometry(224, 1, 1, 40);
    Shape1 = new QFrame(FlatPanel3);
    Shape1->setGeometry(611, 3, 1, 39);
    for (QFrame *s : {shp1, Shape1}) {
        s->setAutoFillBackground(true);
        QPalette p = s->palette();
        p.setColor(QPalette::Window, bgr(13424089));
        s->setPalette(p);
    }
    slider = new view::TMMSlider(FlatPanel3);
    slider->setGeometry(230, 10, 376, 28);
    slider->SetStyle(view::ProgressSliderStyle());
    slider->SetLineSize(0);
    slider->SetPageSize(10);
    slider->SetRange(0, 1);
    slider->setToolTip("进度条");
    slider->setEnabled(false);
    l_repeat = courierLabel(FlatPanel3, {617, 3, 139, 17}, "朗读遍数：1/1", "目前朗读遍数/需要朗读的遍数");
    l_time = courierLabel(FlatPanel3, {616, 23, 139, 17}, "00:00 / 00:00", "当前播放时间/总时长");
    // A table, not a tree: a tree lays out every row on each new list, which a
    // million cues make a stall.
    lvSegment = new QTableView(FlatPanel3);
    lvSegment->setGeometry(1, 1, 1, 1);
    sentenceRows_ = new TSentenceRows(repeater_, lvSegment);
    lvSegment->setModel(sentenceRows_);
    lvSegment->horizontalHeader()->hide();
    lvSegment->verticalHeader()->hide();
    lvSegment->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvSegment->setShowGrid(false);
    lvSegment->setColumnWidth(0, 60);
    lvSegment->setColumnWidth(1, 95);
    lvSegment->setColumnWidth(2, 0);
    lvSegment->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvSegment->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvSegment->setFocusPolicy(Qt::NoFocus);

    gb1 = groupBox(pMain, {7, 124, 226, 49}, "复读模式", "这是复读控制方式选择");
    rg_bj = plain(new QRadioButton("标记式", gb1));
    rg_bj->setGeometry(11, 23, 60, 17);
    rg_bj->setChecked(true);
    rg_free = plain(new QRadioButton("一键式", gb1));
    rg_free->setGeometry(79, 24, 60, 16);
    rg_twokey = plain(new QRadioButton("左右键", gb1));
    rg_twokey->setGeometry(149, 23, 60, 17);
    for (QRadioButton *r : {rg_bj, rg_free, rg_twokey})
        r->setFocusPolicy(Qt::ClickFocus);

    FlatGroupBox1 = groupBox(pMain, {240, 124, 369, 49}, "复读控制", "这是复读控制方式选择");
    Label2 = label(FlatGroupBox1, {7, 26}, "复读次数：");
    cb_repeattimes = dropDown(FlatGroupBox1, {77, 22, 84, 21}, repeater::RepeatCountItems(), repeater::DefaultRepeatIndex);
    Label1 = label(FlatGroupBox1, {181, 26}, "读后暂停时间：");
    cb_pausetime = dropDown(FlatGroupBox1, {271, 22, 90, 21}, repeater::PauseRuleItems(), repeater::DefaultPauseIndex);

    FlatGroupBox2 = groupBox(pMain, {619, 124, 147, 49}, "变速器", "变速器，拖动将改变播放速率");
    sl_speed = new view::TMMSlider(FlatGroupBox2);
    sl_speed->setGeometry(6, 23, 137, 21);
    sl_speed->SetStyle(view::SpeedSliderStyle());
    sl_speed->SetRange(-40, 40);
    sl_speed->SetLineSize(0);
    sl_speed->SetPageSize(1);
    sl_speed->SetPosition(0);
    sl_speed->setToolTip(q(repeater::SpeedHint(0)));
    // The speed ladder beside the box's caption, by its short name: the window has
    // no row to spare. The open list gives each ladder's speeds.
    std::vector<std::string> ladders;
    for (const repeater::TLadderItem &i : repeater::LadderItems())
        ladders.push_back(i.name);
    cb_ladder = dropDown(FlatGroupBox2, {LadderLeft, 0, 147 - 2 - LadderLeft, 20}, ladders, 0);
    for (size_t i = 0; i < ladders.size(); ++i)
        cb_ladder->setItemData(int(i), q(repeater::LadderItems()[i].text), Qt::UserRole);
    cb_ladder->setItemDelegate(new TFullTextDelegate(cb_ladder));
    cb_ladder->view()->setMinimumWidth(150);
    cb_ladder->setToolTip("逐遍变速：一句的第1、2、3遍依次用这些速度，以后各遍用最后一个");

    Panel3 = new QFrame(this);
    Panel3->setGeometry(0, 179, 773, 30);
    fg1 = new TGauge(Panel3);
    fg1->setGeometry(7, 2, 90, 20);
    p_info = new QLabel(Panel3);
    p_info->setGeometry(96, 2, 554, 20);
    p_info->setFont(windowFont(12));
    p_info->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    p_info->setFrameShape(QFrame::Panel);
    p_info->setFrameShadow(QFrame::Sunken);
    p_info->setTextFormat(Qt::PlainText); // names files and quotes them
    l_tip = new QLabel("停止", Panel3);
    l_tip->setGeometry(647, 2, 119, 20);
    l_tip->setAlignment(Qt::AlignCenter);
    l_tip->setFrameShape(QFrame::Panel);
    l_tip->setFrameShadow(QFrame::Sunken);
    fg2 = new TGauge(l_tip);
    fg2->setGeometry(0, 0, 119, 20);
    fg2->SetTransparent(true);
    fg2->SetBarColor(bgr(4482648));
    fg2->setAttribute(Qt::WA_TransparentForMouseEvents);

    Timer_play = new QTimer(this);
    Timer_play->setInterval(repeater::TimerIntervalMs(repeater::TTimer::Play));
    Timer_ShowPos = new QTimer(this);
    Timer_ShowPos->setInterval(repeater::TimerIntervalMs(repeater::TTimer::ShowPos));
    timer_pause = new QTimer(this);
    timer_pause->setInterval(repeater::TimerIntervalMs(repeater::TTimer::Pause));
    Timer_load = new QTimer(this);
    Timer_load->setInterval(repeater::TimerIntervalMs(repeater::TTimer::Load));
}

void TfMainFree::connectControls() {
    // Every handler runs inside Guard; whatever the signal or event passes is not used.
    auto guarded = [this](void (TfMainFree::*handler)()) {
        return [this, handler](auto &&...) { Guard([&] { (this->*handler)(); }); };
    };
    const std::pair<QAbstractButton *, void (TfMainFree::*)()> buttons[] = {
        {loadfilebtn, &TfMainFree::loadfilebtnClick},   {stopbtn, &TfMainFree::stopbtnClick},
        {playbtn, &TfMainFree::playbtnClick},           {pausebtn, &TfMainFree::pausebtnClick},
        {prevbtn, &TfMainFree::prevbtnClick},           {nextbtn, &TfMainFree::nextbtnClick},
        {SpeedButton1, &TfMainFree::SpeedButton1Click}, {SpeedButton2, &TfMainFree::SpeedButton2Click},
        {rg_bj, &TfMainFree::rg_bjClick},               {rg_free, &TfMainFree::rg_freeClick},
        {rg_twokey, &TfMainFree::rg_twokeyClick},
    };
    for (const auto &[button, handler] : buttons)
        connect(button, &QAbstractButton::clicked, this, guarded(handler));
    // activated: the user's choice only; a change by the program runs no handler.
    connect(cb_repeattimes, &QComboBox::activated, this, guarded(&TfMainFree::cb_repeattimesChange));
    connect(cb_pausetime, &QComboBox::activated, this, guarded(&TfMainFree::cb_pausetimeChange));
    connect(cb_ladder, &QComboBox::activated, this, guarded(&TfMainFree::cb_ladderChange));
    const std::pair<QTimer *, void (repeater::TRepeater::*)()> timers[] = {
        {Timer_play, &repeater::TRepeater::Timer_playTimer},
        {Timer_ShowPos, &repeater::TRepeater::Timer_ShowPosTimer},
        {timer_pause, &repeater::TRepeater::timer_pauseTimer},
        {Timer_load, &repeater::TRepeater::Timer_loadTimer},
    };
    for (const auto &[timer, handler] : timers)
        connect(timer, &QTimer::timeout, this, [this, handler] { Guard([&] { (repeater_.get()->*handler)(); }); });
    connect(repeater_.get(), &repeater::TRepeater::Changed, this, [this] { ShowReport(); });
    connect(repeater_.get(), &repeater::TRepeater::Traced, this,
            [](const std::string &kind, const std::string &detail) { Trace(kind, detail); });
    TraceStalls(this);

    Mainoscope->OnMouseDown = [this](view::TMMOscope *, Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int) {
        Guard([&] { MainoscopeMouseDown(b, m, x); });
    };
    Mainoscope->OnMouseMove = [this](view::TMMOscope *, Qt::MouseButtons b, Qt::KeyboardModifiers m, int x, int) {
        Guard([&] { MainoscopeMouseMove(b, m, x); });
    };
    Mainoscope->OnMouseUp = [this](view::TMMOscope *, Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int) {
        Guard([&] { MainoscopeMouseUp(b, m, x); });
    };
    Mainoscope->OnPostPaint = [this](view::TMMOscope *) { MainoscopePostPaint(); };
    Mainoscope->OnPcmOverflow = [this](view::TMMOscope *) { MainoscopePcmOverflow(); };
    slider->OnTrack = guarded(&TfMainFree::sliderTrack);
    slider->OnChange = guarded(&TfMainFree::sliderChange);
    sl_speed->OnChange = guarded(&TfMainFree::sl_speedChange);
    sl_speed->OnTrackEnd = guarded(&TfMainFree::sl_speedTrackEnd);
    Image1->OnClick = guarded(&TfMainFree::Image1Click);
    // The keys Hotpad maps, with their meaning; they win over the sliders' arrows.
    const std::pair<Qt::Key, void (TfMainFree::*)()> keys[] = {
        {Qt::Key_Space, &TfMainFree::PlayPauseKey},
        {Qt::Key_Left, &TfMainFree::prevbtnClick},
        {Qt::Key_Right, &TfMainFree::nextbtnClick},
        {Qt::Key_M, &TfMainFree::MarkKey},
    };
    for (const auto &[key, handler] : keys)
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, guarded(handler));
    for (QGroupBox *g : {gb1, FlatGroupBox1, FlatGroupBox2})
        g->installEventFilter(this);
}

void TfMainFree::FormCreate() {
    // The library's notifier thread: postEvent is the one thread-safe way in.
    msgTarget_ = std::make_unique<audio::TMessageTarget>([this](audio::TPlayerMessage m) {
        QCoreApplication::postEvent(this, new QEvent(m == audio::TPlayerMessage::RangeEnd ? SegmentEndEvent
                                                                                         : FileEndEvent));
    });
    bass_ = std::make_unique<audio::TBass>(msgTarget_->Handle());
    player_ = std::make_unique<TBassPlayer>(*bass_);
    clock_ = std::make_unique<TTimerClock>(Timer_play, timer_pause, Timer_ShowPos, Timer_load);
    repeater_ = std::make_unique<repeater::TRepeater>(*player_, *clock_, Mainoscope->width());
    bass_->SetOnStarted([this](DWORD, DWORD) { repeater_->PlayerStarted(); });
    bass_->SetOnPaused([this](DWORD, DWORD) { repeater_->PlayerPaused(); });
    bass_->SetOnResumed([this](DWORD, DWORD) { repeater_->PlayerResumed(); });
    bass_->SetOnStopped([this](DWORD, DWORD) { repeater_->PlayerStopped(); });
    breakpointView_ = std::make_unique<TSegmentBreakpoints>(*repeater_);
    study_ = std::make_unique<TStudyKeeper>(*repeater_);
    waveView_ = std::make_unique<view::TWaveOscope>(Mainoscope);
}

void TfMainFree::FormDestroy() {
    if (Mainoscope) {
        // The control outlives the view by a little; nothing may call into it.
        Mainoscope->OnPostPaint = nullptr;
        Mainoscope->OnPcmOverflow = nullptr;
    }
    for (QTimer *t : {Timer_play, Timer_ShowPos, timer_pause, Timer_load})
        if (t)
            t->stop();
    if (repeater_)
        repeater_->CancelLoad();
    if (bass_)
        for (auto set : {&audio::TBass::SetOnStarted, &audio::TBass::SetOnPaused, &audio::TBass::SetOnResumed,
                         &audio::TBass::SetOnStopped})
            ((*bass_).*set)(nullptr);
    waveView_.reset();
    study_.reset(); // writes what is queued
    repeater_.reset();
    shadowTakes_.reset(); // its capture and channel go before the library
    player_.reset();
    bass_.reset();
}

std::string TfMainFree::StatusText() const { return l_tip->text().toStdString(); }

std::string TfMainFree::NoticeText() const {
    const std::string t = p_info->text().toStdString();
    return t.empty() || t[0] != ' ' ? t : t.substr(1);
}

namespace {

// The whole text at any length: a smaller size of the label's font where needed.
void setFittingText(QLabel *l, const QString &text) {
    QFont f = l->font();
    for (int px = 13; px >= 7; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).horizontalAdvance(text) <= l->width() - 2)
            break;
    }
    if (f != l->font())
        l->setFont(f);
    l->setText(text);
}

} // namespace

void TfMainFree::ShowReport() {
    if (!repeater_)
        return;
    const repeater::TReport r = repeater_->Report();
    applying_ = true;
    l_tip->setText(q(r.status));
    const QString notice = q(" " + r.notice);
    if (p_info->text() != notice) {
        p_info->setText(notice);
        p_info->repaint();
    }
    l_repeat->setText(q(r.repeatLabel));
    setFittingText(l_time, q(r.timeLabel));
    const std::pair<QWidget *, bool> enabled[] = {
        {loadfilebtn, r.enabled.open}, {playbtn, r.enabled.play}, {stopbtn, r.enabled.stop},
        {pausebtn, r.enabled.pause},   {prevbtn, r.enabled.prev}, {nextbtn, r.enabled.next},
        {slider, r.enabled.slider},
    };
    for (const auto &[w, on] : enabled)
        w->setEnabled(on);
    using M = repeater::TMode;
    (r.mode == M::Marked ? rg_bj : r.mode == M::OneKey ? rg_free : rg_twokey)->setChecked(true);
    Mainoscope->setCursor(r.mode == M::Marked ? Qt::ArrowCursor : Qt::CrossCursor);
    cb_repeattimes->setCurrentIndex(r.repeatIndex);
    cb_pausetime->setCurrentIndex(r.pauseIndex);
    // A lesson's own speed came back, or a ladder's step holds for this reading.
    if (sl_speed->Position() != r.readingSpeed)
        sl_speed->SetPosition(r.readingSpeed);
    sl_speed->setToolTip(q(r.speedHint));
    cb_ladder->setCurrentIndex(repeater::LadderIndex(r.ladder));
    // The info line soon returns to the file's information: the speed stays here.
    FlatGroupBox2->setTitle(q(repeater::SpeedTitle(r.readingSpeed)));
    slider->SetMaxValue(r.sliderMax);
    slider->SetPosition(r.sliderPosition);
    fg2->SetMaxValue(r.pauseGaugeMax);
    fg2->SetProgress(r.pauseGaugeProgress);
    fg1->SetShowText(r.samplingPercent >= 0);
    fg1->SetProgress(std::max(r.samplingPercent, 0));
    showStrip(r);
    applying_ = false;
}

void TfMainFree::showStrip(const repeater::TReport &r) {
    view::TWaveOscope &v = *waveView_;
    const int32_t line = r.playLineShown ? r.playColumn : 0;
    const bool grown = stripShown_ && r.growGeneration != shown_.growGeneration;
    const bool redraw = !stripShown_ || grown || r.waveGeneration != shown_.waveGeneration ||
                        r.viewOffset != shown_.viewOffset;
    if (r.waveGeneration != shown_.waveGeneration || !stripShown_)
        fillSentenceList();
    else if (grown)
        appendSentenceRows(); // a load only adds sentences at the end
    v.UnknownFrom = r.loading ? static_cast<int32_t>(std::clamp<int64_t>(r.knownSamples - r.viewOffset, 0, INT32_MAX))
                              : -1;
    if ((r.sentence != shown_.sentence || !stripShown_) && r.sentence >= 0 &&
        r.sentence < sentenceRows_->rowCount(QModelIndex()))
        lvSegment->setCurrentIndex(sentenceRows_->index(r.sentence, 0));
    const bool rehighlight = redraw || r.highlightFirst != shown_.highlightFirst ||
                             r.highlightLast != shown_.highlightLast;
    v.ViewOffset = r.viewOffset;
    v.SelStart = r.highlightFirst;
    v.SelEnd = r.highlightLast;
    if (redraw || rehighlight) {
        // The paint's overlay draws the line where PlayColumn says.
        v.PlayColumn = line;
        if (redraw) {
            v.SetSource(repeater_->Lesson() ? &repeater_->Lesson()->samples : nullptr, breakpointView_.get());
            v.RedrawWave();
        }
        v.ApplySelection(v.SelStart, v.SelEnd);
        Mainoscope->Repaint();
    } else if (line != v.PlayColumn) {
        // Not-xor: drawing the old line again erases it.
        v.DrawPlayLine(Mainoscope, v.PlayColumn, view::TWaveOscope::PlayLineColour);
        v.PlayColumn = line;
        v.DrawPlayLine(Mainoscope, v.PlayColumn, view::TWaveOscope::PlayLineColour);
    }
    shown_ = r;
    stripShown_ = true;
}

void TfMainFree::fillSentenceList() { sentenceRows_->Refill(); }

void TfMainFree::appendSentenceRows() { sentenceRows_->Grow(); }

void TfMainFree::BringToFront() {
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

bool TfMainFree::event(QEvent *e) {
    if (e->type() == SegmentEndEvent || e->type() == FileEndEvent) {
        const bool segment = e->type() == SegmentEndEvent;
        Trace("end", segment ? "segment" : "file");
        Guard([&] { segment ? repeater_->SegmentEnded() : repeater_->FileEnded(); });
        return true;
    }
    return QWidget::event(e);
}

// Tab never moves the focus between the controls.
bool TfMainFree::focusNextPrevChild(bool) { return true; }

// Only a press on the window's own background: a press on a control without a
// handler of its own (a label, the status cell, the logo) reaches here too.
void TfMainFree::mousePressEvent(QMouseEvent *e) {
    if (childAt(e->position().toPoint()) == nullptr)
        Guard([&] { FormMouseDown(e->button()); });
}

bool TfMainFree::eventFilter(QObject *watched, QEvent *e) {
    if (e->type() == QEvent::MouseButtonPress &&
        (watched == gb1 || watched == FlatGroupBox1 || watched == FlatGroupBox2)) {
        auto *box = static_cast<QGroupBox *>(watched);
        const auto *m = static_cast<QMouseEvent *>(e);
        const QPoint at = m->position().toPoint();
        // The box itself, not its caption nor a label inside it.
        if (box->childAt(at) == nullptr && box->contentsRect().contains(at)) {
            const auto button = m->button();
            Guard([&] { FormMouseDown(button); });
        }
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace vorel::app

namespace vorel::app {

void TfMainFree::SpeedButton1Click() { help::ShowHelp(this, resources::FindResource); }

void TfMainFree::SpeedButton2Click() { help::ShowAbout(this, resources::ProgramVersion()); }

} // namespace vorel::app
