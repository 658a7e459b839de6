#include "transcriptwindow.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

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
            item->setToolTip(2, text); // a long sentence is cut at the window's edge
        }
    }
}

void TTranscriptWindow::ShowBesideOwner() {
    if (!placed_ && parentWidget()) {
        placed_ = true;
        // Beside the owner where the screen has room (right, left, below, above),
        // never over its controls unless no side has room.
        const QRect owner = parentWidget()->frameGeometry();
        const QScreen *screen = parentWidget()->screen();
        const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 14, 1 << 14);
        const QSize size = frameGeometry().size();
        const QPoint candidates[] = {{owner.right() + 8, owner.top()},
                                     {owner.left() - 8 - size.width(), owner.top()},
                                     {owner.left(), owner.bottom() + 8},
                                     {owner.left(), owner.top() - 8 - size.height()}};
        QPoint at = candidates[0];
        for (const QPoint &p : candidates)
            if (area.contains(QRect(p, size))) {
                at = p;
                break;
            }
        move(at);
    }
    show();
    raise();
}

} // namespace vorel::app
