#include "helpwindow.h"

#include "bzip2.h"
#include "messageline.h"
#include "tempfolder.h"

#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace vorel::help {

namespace {

MessageHook &messageHook() {
    static MessageHook hook;
    return hook;
}

// The page is GB2312 as its meta tag says. Qt's own decoding of that tag uses
// ICU's strict GB2312; GBK, its superset, also reads pages that slip in a GBK-only
// character, so the browser decodes local pages itself.
class GbkBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl &name) override {
        if (type != QTextDocument::HtmlResource || !name.isLocalFile())
            return QTextBrowser::loadResource(type, name);
        QFile file(name.toLocalFile());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = file.readAll();
        QStringDecoder gbk("GBK");
        if (!gbk.isValid()) // a Qt without ICU: let it read the meta tag
            return QTextBrowser::loadResource(type, name);
        return QString(gbk.decode(bytes));
    }
};

} // namespace

const QString TfHelp::Caption = QStringLiteral("Vorel语言复读机（免费体验版）帮助");
const QString TfHelp::NotFoundText = QStringLiteral("错误：找不到help文件！");
const QString TfHelp::NotWrittenText = QStringLiteral("错误：帮助页无法写入临时文件夹：");

void ShowPlainMessage(const QString &caption, const QString &text) {
    if (platform::WriteMessageLineInstead(caption.toStdString(), text.toStdString()))
        return;
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
    box.exec();
}

void SetMessageHook(MessageHook hook) { messageHook() = std::move(hook); }

void ShowHelp(QWidget *owner, const platform::ResourceLookup &lookup) {
    TfHelp help(lookup, messageHook() ? messageHook() : MessageHook(ShowPlainMessage), owner);
    help.setWindowState(Qt::WindowMaximized);
    help.exec();
}

TfHelp::TfHelp(platform::ResourceLookup lookup, MessageHook message, QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      lookup_(std::move(lookup)), message_(message ? std::move(message) : MessageHook(ShowPlainMessage)),
      wb1_(new GbkBrowser(this)) {
    setWindowTitle(Caption);
    setSizeGripEnabled(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(wb1_);
    // 600 x 480 at the screen centre: where the window returns to from maximised.
    resize(600, 480);
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TfHelp::~TfHelp() { FormClose(); }

// Showing again after un-minimising is the same showing: only a showing by the
// program writes a page.
void TfHelp::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfHelp::hideEvent(QHideEvent *event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        FormClose();
}

namespace {

// The page could not be written (a full file system, say): not a missing page.
class EPageNotWritten : public platform::EPlatformError {
public:
    using platform::EPlatformError::EPlatformError;
};

} // namespace

void TfHelp::FormShow() {
    FormClose(); // a page of an earlier showing
    pageFile_.clear();
    try {
        writePage();
        wb1_->setSource(QUrl::fromLocalFile(QString::fromStdString(pageFile_)));
        if (wb1_->document()->isEmpty())
            throw platform::EPlatformError("page not shown");
    } catch (const std::exception &e) {
        wb1_->clear();
        const QString text = dynamic_cast<const EPageNotWritten *>(&e)
                                 ? NotWrittenText + QString::fromUtf8(e.what())
                                 : NotFoundText;
        // After the show has finished, so the box stands over the open window.
        QTimer::singleShot(0, this, [this, text] { message_(QStringLiteral("Vorelplay"), text); });
    }
}

void TfHelp::FormClose() {
    if (!pageFile_.empty() && unlink(pageFile_.c_str()) != 0 && errno != ENOENT)
        std::fprintf(stderr, "Vorelplay: cannot delete %s: %s\n", pageFile_.c_str(), std::strerror(errno));
}

// A new name each time (mkstemps, never an existing file) in the private folder: a
// fixed or guessable name in a shared place could be pre-planted or be a link.
void TfHelp::writePage() {
    const auto res = lookup_ ? lookup_(platform::HelpPageResource) : std::nullopt;
    if (!res)
        throw platform::EPlatformError("no help resource");
    const std::vector<uint8_t> page = platform::Bunzip2(res->data, res->size);
    const std::string folder = platform::InstanceTempFolder();
    int fd;
    try {
        fd = platform::MakeTempFile(folder, "help-", pageFile_, ".html");
    } catch (const platform::EPlatformError &e) {
        throw EPageNotWritten(e.what());
    }
    size_t done = 0;
    while (done < page.size()) {
        const ssize_t n = write(fd, page.data() + done, page.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            throw EPageNotWritten(std::strerror(n < 0 ? errno : ENOSPC)); // the partial file goes on close
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0)
        throw EPageNotWritten(std::strerror(errno));
}

} // namespace vorel::help
