#include "transcriptwindow.h"
#include "messagebox.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

#include "channelinfo.h"

namespace vorel::app {

bool TranscriptTextHidden(bool dictation, int row, int current, int revealed) {
    return dictation && row == current && row != revealed;
}

TTranscriptWindow::TTranscriptWindow(QWidget *owner) : QWidget(owner, Qt::Window) {
    // Windows take no font from their owner: the owner's face, a little larger for
    // reading sentences.
    QFont f = owner ? owner->font() : font();
    setFont(f);
    setWindowTitle(TranscriptCaption);
    // Opened by itself after a load, it leaves the keyboard with the main window
    // (the window system activates a window when it is mapped, after show()).
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    resize(500, 270);

    list = new QTreeWidget(this);
    list->setColumnCount(3);
    list->setHeaderLabels({"序号", "时间", "句子"});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setWordWrap(false);
    list->setTextElideMode(Qt::ElideRight);
    list->header()->setStretchLastSection(true);
    list->setColumnWidth(0, 48);
    list->setColumnWidth(1, 80);
    QFont textFont = f;
    textFont.setPixelSize(15);
    list->setFont(textFont);

    dictationBox = new QCheckBox("听写模式（读完最后一遍才显示本句）", this);
    saveButton = new QPushButton("保存断点(Ctrl+S)", this);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(dictationBox);
    bottom->addStretch(1);
    bottom->addWidget(saveButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(list, 1);
    layout->addLayout(bottom);

    connect(list, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { emit rowSelected(list->indexOfTopLevelItem(item)); });
    connect(list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { emit rowPlayRequested(list->indexOfTopLevelItem(item)); });
    connect(dictationBox, &QCheckBox::toggled, this, [this](bool on) {
        refreshTexts();
        emit dictationToggled(on);
    });
    connect(saveButton, &QPushButton::clicked, this, &TTranscriptWindow::saveRequested);
    auto *save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, &TTranscriptWindow::saveRequested);
    auto *toggle = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(toggle, &QShortcut::activated, this, &TTranscriptWindow::toggleRequested);
}

void TTranscriptWindow::SetRows(std::vector<TTranscriptRow> rows) {
    rows_ = std::move(rows);
    current_ = revealed_ = -1;
    list->setUpdatesEnabled(false);
    list->clear();
    QList<QTreeWidgetItem *> items;
    for (size_t i = 0; i < rows_.size(); ++i) {
        auto *item = new QTreeWidgetItem(
            {QString::number(i + 1), QString::fromStdString(audio::FormatTime(rows_[i].StartMs)), QString()});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        items.append(item);
    }
    list->addTopLevelItems(items);
    refreshTexts();
    list->setUpdatesEnabled(true);
}

bool TTranscriptWindow::HasText() const {
    for (const TTranscriptRow &r : rows_)
        if (!r.Text.empty())
            return true;
    return false;
}

void TTranscriptWindow::SetCurrent(int row) {
    if (row < 0 || row >= RowCount())
        row = -1;
    const int before = current_;
    current_ = row;
    if (before != row)
        revealed_ = -1;
    QTreeWidgetItem *item = row < 0 ? nullptr : list->topLevelItem(row);
    const QSignalBlocker quiet(list);
    list->setCurrentItem(item);
    if (item)
        list->scrollToItem(item, QAbstractItemView::EnsureVisible);
    refreshTexts();
}

void TTranscriptWindow::SetRevealed(int row) {
    revealed_ = row;
    refreshTexts();
}

void TTranscriptWindow::SetDictation(bool on) { dictationBox->setChecked(on); }

bool TTranscriptWindow::Dictation() const { return dictationBox->isChecked(); }

std::string TTranscriptWindow::ShownText(int row) const {
    if (row < 0 || row >= RowCount() || TranscriptTextHidden(Dictation(), row, current_, revealed_))
        return "";
    return rows_[static_cast<size_t>(row)].Text;
}

void TTranscriptWindow::refreshTexts() {
    for (int r = 0; r < RowCount(); ++r) {
        const QString text = QString::fromStdString(ShownText(r));
        QTreeWidgetItem *item = list->topLevelItem(r);
        if (item->text(2) != text) {
            item->setText(2, text);
            item->setToolTip(2, PlainToolTip(text)); // a long sentence is cut at the window's edge
        }
    }
}

QRect TranscriptPlacement(const QRect &owner, const QRect &area, const QSize &size, const QSize &minimum) {
    constexpr int Gap = 8;
    // The room on each side: a rectangle beside the owner, as tall (or as wide) as
    // the owner's frame allows within the area.
    const QRect rooms[] = {
        QRect(QPoint(owner.right() + 1 + Gap, owner.top()), QPoint(area.right(), area.bottom())),
        QRect(QPoint(area.left(), owner.top()), QPoint(owner.left() - 1 - Gap, area.bottom())),
        QRect(QPoint(owner.left(), owner.bottom() + 1 + Gap), QPoint(area.right(), area.bottom())),
        QRect(QPoint(owner.left(), area.top()), QPoint(area.right(), owner.top() - 1 - Gap)),
    };
    const auto placed = [&](int side, const QSize &s) {
        const QRect &r = rooms[side];
        // Left and above hug the owner; right and below start at it.
        const int x = side == 1 ? r.right() + 1 - s.width() : r.left();
        const int y = side == 3 ? r.bottom() + 1 - s.height() : r.top();
        return QRect(QPoint(x, y), s);
    };
    for (int side = 0; side < 4; ++side)
        if (rooms[side].width() >= size.width() && rooms[side].height() >= size.height())
            return placed(side, size);
    int best = -1;
    int64_t bestArea = 0;
    QSize bestSize;
    for (int side = 0; side < 4; ++side) {
        const QSize s = size.boundedTo(rooms[side].size());
        const int64_t a = int64_t(s.width()) * s.height();
        if (s.width() >= minimum.width() && s.height() >= minimum.height() && a > bestArea) {
            best = side;
            bestArea = a;
            bestSize = s;
        }
    }
    return best >= 0 ? placed(best, bestSize) : placed(0, size);
}

void TTranscriptWindow::ShowBesideOwner() {
    // The owner's frame is known only once the window manager has shown it: a
    // lesson opened at start-up comes before that, so wait for it (2 s at most).
    const QWidget *shown = parentWidget();
    if (!placed_ && shown && shown->isVisible() && shown->windowHandle() && !shown->windowHandle()->isExposed() &&
        placeTries_ < 40) {
        ++placeTries_;
        QTimer::singleShot(50, this, [this] { ShowBesideOwner(); });
        return;
    }
    if (!placed_ && parentWidget()) {
        placed_ = true;
        // Beside the owner, never over its controls while the screen has room.
        const QWidget *owner = parentWidget();
        const QScreen *screen = owner->screen();
        const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 14, 1 << 14);
        // Not shown yet: take the owner's decorations for this window's.
        const QSize frame = owner->frameGeometry().size() - owner->size();
        const QRect at = TranscriptPlacement(owner->frameGeometry(), area, size() + frame, QSize(300, 160) + frame);
        resize(at.size() - frame);
        move(at.topLeft());
    }
    show();
    raise();
}

} // namespace vorel::app
