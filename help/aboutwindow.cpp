#include "aboutwindow.h"

#include "installpaths.h"
#include "waterimage.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <cmath>

namespace vorel::help {

namespace {

// 宋体 where it is installed, else an installed CJK font.
QFont songti(int pixels) {
    QFont f;
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"),
                   QStringLiteral("Noto Sans CJK SC")});
    f.setPixelSize(pixels);
    return f;
}

void setTextColour(QLabel *label, const QColor &colour) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

const QColor LinkBlue(0, 0, 255);
const QColor LinkRed(255, 0, 0);

} // namespace

QString VersionText(const QString &version) {
    QStringList parts = version.split(QLatin1Char('.'));
    while (parts.size() < 4)
        parts << QStringLiteral("0");
    return QStringLiteral("Version ") + parts.mid(0, 4).join(QLatin1Char('.')) + QStringLiteral(" 免费体验版");
}

QImage AboutPicture() {
    constexpr int W = 286, H = 69;
    QImage img(W, H, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, H);
    sky.setColorAt(0, QColor(18, 62, 120));
    sky.setColorAt(1, QColor(40, 140, 170));
    p.fillRect(img.rect(), sky);

    // A recording of three sentences: an envelope with pauses, and the
    // breakpoints in the middle of the pauses, as the program draws them.
    const double sentences[][2] = {{118, 162}, {170, 224}, {232, 280}};
    QPainterPath wave;
    const double mid = 48;
    wave.moveTo(118, mid);
    for (const auto &s : sentences) {
        wave.lineTo(s[0], mid);
        for (double x = s[0]; x <= s[1]; x += 1) {
            const double t = (x - s[0]) / (s[1] - s[0]);
            const double a = 14 * std::sin(3.14159 * t) * (0.6 + 0.4 * std::fabs(std::sin(x * 0.9)));
            wave.lineTo(x, mid - a * ((int(x) % 2) ? 1 : -1));
        }
    }
    p.setPen(QPen(QColor(170, 230, 255), 1));
    p.drawPath(wave);
    p.setPen(QPen(QColor(255, 170, 60), 1));
    for (double x : {166.0, 228.0})
        p.drawLine(QPointF(x, 28), QPointF(x, 68));
    // The sentence being repeated.
    p.fillRect(QRectF(170, 28, 54, 40), QColor(255, 255, 255, 40));

    QFont title;
    title.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    title.setPixelSize(34);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRect(10, 4, 110, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Vorel"));
    p.setFont(songti(14));
    p.setPen(QColor(210, 235, 255));
    p.drawText(QRect(12, 46, 110, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("语言复读机"));
    p.setFont(songti(12));
    p.drawText(QRect(118, 6, 162, 18), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("听一句，跟一句"));
    return img;
}

void ShowAbout(QWidget *owner, const char *version) {
    const std::string readme = platform::ReadmePath();
    TfAbout about(QString::fromUtf8(version),
                  readme.empty() ? QUrl() : QUrl::fromLocalFile(QString::fromStdString(readme)), {}, owner);
    about.exec();
}

TfAbout::TfAbout(QString version, QUrl link, UrlOpener open, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      version_(std::move(version)), link_(std::move(link)), open_(std::move(open)) {
    setWindowTitle(QStringLiteral("关于..."));
    setFixedSize(376, 265);
    setFont(songti(13));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    Panel1_ = new QFrame(this);
    Panel1_->setGeometry(5, 7, 366, 218);
    Panel1_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // A sunken panel draws its right and bottom edges in the light colour, which
    // is white like this window: a grey keeps those edges visible.
    QPalette edges = Panel1_->palette();
    edges.setColor(QPalette::Light, QColor(192, 192, 192));
    Panel1_->setPalette(edges);
    Panel1_->setMouseTracking(true);
    Panel1_->installEventFilter(this);

    Cwi_ = new TWaterImage(AboutPicture(), Panel1_);
    Cwi_->move(31, 12);
    connect(Cwi_, &TWaterImage::clicked, this, &TfAbout::l_mailClick);

    l_ver_ = new QLabel(Panel1_);
    l_ver_->setGeometry(3, 90, 359, 18);
    l_ver_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    l_ver_->setFont(songti(14));

    auto *Label1 = new QLabel(QStringLiteral("本软件为免费体验版，可以自由使用和复制，没有时间限制。"
                                             "欢迎把使用中遇到的问题和建议告诉我们。"),
                              Panel1_);
    Label1->setGeometry(23, 113, 314, 38);
    Label1->setWordWrap(true);
    Label1->setFont(songti(12));
    setTextColour(Label1, QColor(128, 64, 0));

    auto *Label2 = new QLabel(QStringLiteral("项目主页建成之前，请阅读说明文件："), Panel1_);
    Label2->move(85, 158);
    Label2->adjustSize();

    l_mail_ = new QLabel(QStringLiteral("README.md（Vorel说明文件）"), Panel1_);
    l_mail_->move(114, 177);
    l_mail_->setFont(songti(14));
    l_mail_->adjustSize();
    l_mail_->setCursor(Qt::PointingHandCursor);
    l_mail_->setMouseTracking(true);
    l_mail_->setToolTip(link_.toString());
    l_mail_->installEventFilter(this);
    setLinkColour(LinkBlue);

    auto *Label3 = new QLabel(QStringLiteral("Vorel开发组  版权所有"), Panel1_);
    Label3->move(100, 198);
    Label3->adjustSize();

    BitBtn1_ = new QPushButton(QStringLiteral("确 定"), this);
    BitBtn1_->setGeometry(144, 229, 89, 28);
    BitBtn1_->setDefault(true);
    connect(BitBtn1_, &QPushButton::clicked, this, &QDialog::reject);

    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfAbout::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    FormShow();
}

void TfAbout::FormShow() { l_ver_->setText(VersionText(version_)); }

void TfAbout::setLinkColour(const QColor &colour) { setTextColour(l_mail_, colour); }

// Red while the pointer is on the link, blue again once it moves on the panel
// or leaves the link. The link's own moves stop there: a label passes them on
// to its parent, the panel, which would turn it blue at once.
bool TfAbout::eventFilter(QObject *watched, QEvent *event) {
    if (watched == l_mail_) {
        switch (event->type()) {
        case QEvent::Enter:
            setLinkColour(LinkRed);
            break;
        case QEvent::MouseMove:
            setLinkColour(LinkRed);
            return true;
        case QEvent::Leave:
            setLinkColour(LinkBlue);
            break;
        case QEvent::MouseButtonPress:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
                l_mailClick();
            return true;
        default:
            break;
        }
    } else if (watched == Panel1_ && event->type() == QEvent::MouseMove) {
        setLinkColour(LinkBlue);
    }
    return QDialog::eventFilter(watched, event);
}

void TfAbout::l_mailClick() {
    if (!link_.isValid())
        return;
    if (open_)
        open_(link_);
    else
        QDesktopServices::openUrl(link_);
}

} // namespace vorel::help
