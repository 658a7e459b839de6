#include "transcriptwindow.h"
#include "messagebox.h"

#include <algorithm>
#include <functional>

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

#include "channelinfo.h"
#include "textcap.h"

namespace vorel::app {

// The rows as the list shows them, read from the window's own state at the moment
// a cell is drawn. The list is handed rows a chunk at a time, as the learner
// scrolls to its end or a row further on becomes current: a tree lays out every
// row it is given, which for a million cues is a stall. (Not through the model's
// fetchMore: the view asks for it whenever its scroll bar is at its end, also while
// hidden, and then measures every wrapped row it was given.)
class TTranscriptWindow::TModel : public QAbstractTableModel {
public:
    explicit TModel(TTranscriptWindow &w) : QAbstractTableModel(&w), w_(w) {}

    int rowCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : given_; }
    int columnCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : 4; }

    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        static const char *const names[] = {"序号", "时间", "句子", "标记"};
        if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4)
            return QString::fromUtf8(names[section]);
        return {};
    }

    QVariant data(const QModelIndex &index, int role) const override {
        if (!index.isValid() || index.row() >= w_.RowCount())
            return {};
        const int row = index.row();
        const TTranscriptRow &r = w_.rows_[size_t(row)];
        switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
            case NumberColumn:
                return QString::number(row + 1) + (r.Doubtful ? " ?" : "");
            case TimeColumn:
                return QString::fromStdString(audio::FormatTime(r.StartMs));
            case TextColumn:
                return TranscriptTextHidden(w_.Dictation(), row, w_.current_, w_.revealed_)
                           ? QString()
                           : QString::fromStdString(CapText(r.Text, RowTextCap));
            case MarkColumn:
                return w_.Marked(row) ? QStringLiteral("★") : QString();
            }
            break;
        case Qt::TextAlignmentRole:
            // A wrapped sentence's number and time stand beside its first line.
            return QVariant::fromValue(Qt::Alignment(index.column() == TimeColumn ? Qt::AlignRight | Qt::AlignTop
                                                                                  : Qt::AlignLeft | Qt::AlignTop));
        case Qt::BackgroundRole:
            if (r.Doubtful)
                return QColor(255, 236, 179);
            break;
        case Qt::ToolTipRole:
            if (r.Doubtful && (index.column() == NumberColumn || index.column() == TimeColumn))
                return QString::fromUtf8(DoubtfulRowTip);
            break;
        }
        return {};
    }

    void reset(const std::function<void()> &change) {
        beginResetModel();
        change();
        given_ = std::min(w_.RowCount(), RowChunk);
        endResetModel();
    }
    void changed(int first, int last, int column) {
        last = std::min(last, given_ - 1);
        if (first <= last && first >= 0)
            emit dataChanged(index(first, column), index(last, column));
    }
    // The list holds row and a chunk after it, so that it can be shown.
    void giveUpTo(int row) {
        if (row < given_)
            return;
        const int upTo = int(std::min<int64_t>(w_.RowCount(), int64_t(row) + RowChunk));
        if (upTo <= given_)
            return;
        beginInsertRows(QModelIndex(), given_, upTo - 1);
        given_ = upTo;
        endInsertRows();
    }

private:
    // A book's sentences fit in one chunk.
    static constexpr int RowChunk = 50000;
    TTranscriptWindow &w_;
    int given_ = 0;
};

namespace {

// Row heights for wrapped text: the tree view asks its delegate for a row's size
// without the column's width, so a long text would be measured as one line and cut.
class TWrappingDelegate : public QStyledItemDelegate {
public:
    explicit TWrappingDelegate(QTreeView *view) : QStyledItemDelegate(view), view_(view) {
        // A wider or narrower column changes every wrapped row's height.
        connect(view->header(), &QHeaderView::sectionResized, this,
                [this] { emit sizeHintChanged(QModelIndex()); });
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QStyleOptionViewItem o = option;
        // The style wraps only within a valid rectangle: any height will do.
        o.rect = QRect(0, 0, view_->columnWidth(index.column()), o.fontMetrics.height());
        return QStyledItemDelegate::sizeHint(o, index);
    }

private:
    QTreeView *view_;
};

std::vector<int32_t> rowStarts(const std::vector<TTranscriptRow> &rows) {
    std::vector<int32_t> starts;
    starts.reserve(rows.size());
    for (const TTranscriptRow &r : rows)
        starts.push_back(r.StartMs);
    return starts;
}

} // namespace

bool TranscriptTextHidden(bool dictation, int row, int current, int revealed) {
    return dictation && row == current && row != revealed;
}

int ChapterFirstRow(const std::vector<int32_t> &rowStarts, int32_t chapterMs) {
    const auto after = std::upper_bound(rowStarts.begin(), rowStarts.end(), chapterMs);
    if (after == rowStarts.end())
        return rowStarts.empty() ? -1 : static_cast<int>(rowStarts.size()) - 1;
    if (int64_t(*after) - chapterMs <= ChapterSlackMs)
        return static_cast<int>(after - rowStarts.begin());
    return static_cast<int>(after - rowStarts.begin()) - 1;
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

    list = new QTreeView(this);
    model_ = new TModel(*this);
    list->setModel(model_);
    // The mark column stands first; the sentence stays last, taking the width left.
    list->header()->moveSection(MarkColumn, 0);
    list->setRootIsDecorated(false);
    // A long sentence wraps onto more lines rather than losing its end.
    list->setUniformRowHeights(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setWordWrap(true);
    list->setTextElideMode(Qt::ElideNone);
    list->setItemDelegate(new TWrappingDelegate(list));
    list->header()->setStretchLastSection(true);
    list->setColumnWidth(MarkColumn, 36);
    list->setColumnWidth(0, 48);
    list->setColumnWidth(1, 80);
    QFont textFont = f;
    textFont.setPixelSize(15);
    list->setFont(textFont);

    chapterList = new QTreeWidget(this);
    chapterList->setColumnCount(2);
    chapterList->setHeaderLabels({"章节", "时间"});
    chapterList->setRootIsDecorated(false);
    chapterList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    chapterList->setWordWrap(true);
    chapterList->setTextElideMode(Qt::ElideNone);
    chapterList->setUniformRowHeights(false);
    chapterList->setItemDelegate(new TWrappingDelegate(chapterList));
    chapterList->header()->setStretchLastSection(false);
    chapterList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    chapterList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    chapterList->setFont(f);
    chapterList->hide();
    auto *lists = new QSplitter(Qt::Horizontal, this);
    lists->addWidget(chapterList);
    lists->addWidget(list);
    lists->setStretchFactor(0, 1);
    lists->setStretchFactor(1, 3);
    lists->setChildrenCollapsible(false);

    dictationBox = new QCheckBox("听写模式（读完最后一遍才显示本句）", this);
    saveButton = new QPushButton("保存断点(Ctrl+S)", this);
    exportButton = new QPushButton("导出卡片…", this);
    exportButton->setToolTip("把当前句、标记的句子或全部句子导出为 Anki 卡片包或 CSV (Ctrl+E)");
    openTextButton = new QPushButton("打开文本…", this);
    openTextButton->setToolTip("为当前录音打开一个没有时间标签的文本，按句对齐到录音");
    statusLabel = new QLabel(this);
    statusLabel->setWordWrap(true);
    statusLabel->setTextFormat(Qt::PlainText); // its notices quote the text file
    statusLabel->hide();
    forgetButton = new QPushButton("忘记本文件的学习记录", this);
    reviewBox = new QCheckBox("复习模式（只读标记的句子）", this);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(dictationBox);
    bottom->addStretch(1);
    bottom->addWidget(openTextButton);
    bottom->addWidget(saveButton);
    // The study record's controls on a row of their own, above: the window keeps its width.
    auto *study = new QHBoxLayout;
    study->addWidget(reviewBox);
    study->addStretch(1);
    study->addWidget(exportButton);
    study->addWidget(forgetButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(lists, 1);
    layout->addWidget(statusLabel);
    layout->addLayout(study);
    layout->addLayout(bottom); // the dictation box stays in the bottom left corner
    connect(openTextButton, &QPushButton::clicked, this, &TTranscriptWindow::openTextRequested);

    connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (value == list->verticalScrollBar()->maximum() && list->isVisible())
            model_->giveUpTo(model_->rowCount(QModelIndex()));
    });
    connect(list, &QTreeView::clicked, this, [this](const QModelIndex &index) { emit rowSelected(index.row()); });
    connect(list, &QTreeView::doubleClicked, this,
            [this](const QModelIndex &index) { emit rowPlayRequested(index.row()); });
    // A click on a chapter goes to its first sentence as a click on that row would.
    connect(chapterList, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        const size_t chapter = static_cast<size_t>(chapterList->indexOfTopLevelItem(item));
        const int row = ChapterFirstRow(rowStarts(rows_), chapters_[chapter].StartMs);
        if (row >= 0)
            emit rowSelected(row);
    });
    connect(dictationBox, &QCheckBox::toggled, this, [this](bool on) {
        textChanged(current_);
        emit dictationToggled(on);
    });
    connect(saveButton, &QPushButton::clicked, this, &TTranscriptWindow::saveRequested);
    connect(exportButton, &QPushButton::clicked, this, &TTranscriptWindow::exportRequested);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_E), this), &QShortcut::activated, this,
            &TTranscriptWindow::exportRequested);
    connect(forgetButton, &QPushButton::clicked, this, &TTranscriptWindow::forgetRequested);
    connect(reviewBox, &QCheckBox::toggled, this, &TTranscriptWindow::reviewToggled);
    auto *save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, &TTranscriptWindow::saveRequested);
    auto *toggle = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(toggle, &QShortcut::activated, this, &TTranscriptWindow::toggleRequested);
    // The list moves with Up and Down; Space, Left and Right belong to the transport.
    const std::pair<Qt::Key, void (TTranscriptWindow::*)()> keys[] = {
        {Qt::Key_Space, &TTranscriptWindow::playPauseRequested},
        {Qt::Key_Left, &TTranscriptWindow::previousRequested},
        {Qt::Key_Right, &TTranscriptWindow::nextRequested},
        {Qt::Key_M, &TTranscriptWindow::markRequested},
    };
    for (const auto &[key, signal] : keys)
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, signal);
}

TTranscriptWindow::~TTranscriptWindow() {
    // The base class closes a visible window, and the list then measures its rows:
    // its model reads this window, of which only the QWidget is left by then.
    list->setModel(nullptr);
}

void TTranscriptWindow::SetChapters(std::vector<TTranscriptChapter> chapters) {
    chapters_ = std::move(chapters);
    chapterList->clear();
    QList<QTreeWidgetItem *> items;
    for (size_t i = 0; i < chapters_.size(); ++i) {
        const QString title = chapters_[i].Title.empty() ? QString("第%1章").arg(i + 1)
                                                          : QString::fromStdString(CapText(chapters_[i].Title, RowTextCap));
        items.append(new QTreeWidgetItem({title, QString::fromStdString(audio::FormatTime(chapters_[i].StartMs))}));
    }
    chapterList->addTopLevelItems(items);
    chapterList->setVisible(!chapters_.empty());
}

void TTranscriptWindow::SetRows(std::vector<TTranscriptRow> rows) {
    if (rows == rows_) {
        SetCurrent(-1);
        revealed_ = -1;
        return;
    }
    model_->reset([&] {
        rows_ = std::move(rows);
        marked_.clear();
        current_ = revealed_ = -1;
    });
}

void TTranscriptWindow::SetMarked(const std::vector<bool> &marked) {
    // Only the rows between the first and the last change are drawn again.
    int first = RowCount(), last = -1;
    for (int i = 0; i < RowCount(); ++i) {
        const bool was = size_t(i) < marked_.size() && marked_[size_t(i)];
        const bool is = size_t(i) < marked.size() && marked[size_t(i)];
        if (was != is) {
            first = std::min(first, i);
            last = i;
        }
    }
    marked_ = marked;
    model_->changed(first, last, MarkColumn);
}

bool TTranscriptWindow::Marked(int row) const {
    return row >= 0 && size_t(row) < marked_.size() && size_t(row) < rows_.size() && marked_[size_t(row)];
}

bool TTranscriptWindow::HasText() const {
    for (const TTranscriptRow &r : rows_)
        if (!r.Text.empty())
            return true;
    return false;
}

void TTranscriptWindow::textChanged(int row) { model_->changed(row, row, TextColumn); }

void TTranscriptWindow::SetCurrent(int row) {
    if (row < 0 || row >= RowCount())
        row = -1;
    const int before = current_;
    current_ = row;
    if (before != row)
        revealed_ = -1;
    if (row >= 0)
        model_->giveUpTo(row);
    // Dictation hides the current row's text only: the rows left and entered change.
    textChanged(before);
    if (row != before)
        textChanged(row);
    const QSignalBlocker quiet(list);
    const QModelIndex index = row < 0 ? QModelIndex() : model_->index(row, TextColumn);
    list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (index.isValid())
        list->scrollTo(index, QAbstractItemView::EnsureVisible);
}

void TTranscriptWindow::SetRevealed(int row) {
    revealed_ = row;
    textChanged(current_);
}

void TTranscriptWindow::SetStatus(const std::string &text) {
    const QString t = QString::fromStdString(text);
    if (statusLabel->text() != t)
        statusLabel->setText(t);
    statusLabel->setVisible(!text.empty());
}

void TTranscriptWindow::SetDictation(bool on) { dictationBox->setChecked(on); }

bool TTranscriptWindow::Dictation() const { return dictationBox->isChecked(); }

std::string TTranscriptWindow::ShownText(int row) const {
    if (row < 0 || row >= RowCount() || TranscriptTextHidden(Dictation(), row, current_, revealed_))
        return "";
    return rows_[static_cast<size_t>(row)].Text;
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
