// The about window: the product picture under rippling water, the program's
// version, a few lines of text and a link to the README installed with the
// program (the project has no web page yet). GUI thread only.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <QUrl>

#include <functional>

class QFrame;
class QLabel;
class QPushButton;

namespace vorel::help {

class TWaterImage;

// Opens the about window modally over owner (may be null) and frees it after it
// is closed. version: the program's dotted version.
void ShowAbout(QWidget *owner, const char *version);

// "Version " + major.minor.release.build + " 免费体验版" for a dotted version of
// up to four numbers; missing parts count as 0 ("0.1.0" gives 0.1.0.0).
QString VersionText(const QString &version);

// The product picture (our own drawing), 286 x 69.
QImage AboutPicture();

class TfAbout : public QDialog {
    Q_OBJECT
public:
    using UrlOpener = std::function<void(const QUrl &)>;

    // version: the dotted program version; link: what the link opens (the README);
    // open: how (the desktop's default handler when empty).
    TfAbout(QString version, QUrl link, UrlOpener open = {}, QWidget *parent = nullptr);

    QLabel *versionLabel() const { return l_ver_; }
    QLabel *linkLabel() const { return l_mail_; }
    QFrame *panel() const { return Panel1_; }
    TWaterImage *picture() const { return Cwi_; }
    QPushButton *okButton() const { return BitBtn1_; }

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    void setLinkColour(const QColor &colour);
    void l_mailClick();

    QString version_;
    QUrl link_;
    UrlOpener open_;
    QFrame *Panel1_;
    TWaterImage *Cwi_;
    QLabel *l_ver_;
    QLabel *l_mail_;
    QPushButton *BitBtn1_;
};

} // namespace vorel::help
