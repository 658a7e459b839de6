// The transcript window: one row per sentence (number, start time, text), the
// current sentence highlighted and kept in view, and a dictation mode that hides
// the current sentence's text until its last reading has ended. It knows nothing of
// the player or the repeater: the owner feeds it rows and the current sentence and
// acts on its signals. A top-level window tied to its owner (kept above it, not
// modal). GUI thread.
#pragma once

#include <QRect>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeView;
class QTreeWidget;

namespace vorel::app {

struct TTranscriptRow {
    int32_t StartMs = 0;
    std::string Text;      // UTF-8
    bool Doubtful = false; // placed by an alignment with little confidence: worth a look
    bool operator==(const TTranscriptRow &) const = default;
};

// A chapter mark as the transcript lists it.
struct TTranscriptChapter {
    int32_t StartMs = 0;
    std::string Title; // UTF-8, may be empty
};

// The row a chapter starting at chapterMs begins with, over the rows' start times
// (ascending): the row holding it, or the next row where that begins at most
// ChapterSlackMs later (a mark set in the pause before a sentence); -1 before any
// row or without rows.
inline constexpr int32_t ChapterSlackMs = 1000;
int ChapterFirstRow(const std::vector<int32_t> &rowStarts, int32_t chapterMs);

// The columns of the rows.
enum TTranscriptColumn { NumberColumn = 0, TimeColumn = 1, TextColumn = 2, MarkColumn = 3 };

// The tool tip of a doubtful row.
inline const char *const DoubtfulRowTip = "对齐把握不大，请在波形上核对这一句的起止";

// Dictation: only the current row's text is hidden, and only until its last
// reading has ended (revealed names the row whose last reading ended, or -1).
bool TranscriptTextHidden(bool dictation, int row, int current, int revealed);

// Where the transcript's frame goes beside the owner's frame within the screen's
// area: right, left, below or above the owner at its full size where one side has
// room; else on the side with the most room, made smaller to fit (not below
// minimum); else to the right, for the window manager to keep on screen.
QRect TranscriptPlacement(const QRect &owner, const QRect &area, const QSize &size, const QSize &minimum);

inline const char *const TranscriptCaption = "文本";

class TTranscriptWindow : public QWidget {
    Q_OBJECT
public:
    explicit TTranscriptWindow(QWidget *owner);
    ~TTranscriptWindow() override;

    // Replaces the rows; the current and revealed rows are reset to none. The same
    // rows again (the list traced anew at a load's end) change nothing else.
    void SetRows(std::vector<TTranscriptRow> rows);
    // Replaces the chapter list, shown beside the rows while there are chapters.
    void SetChapters(std::vector<TTranscriptChapter> chapters);
    int ChapterCount() const { return static_cast<int>(chapters_.size()); }
    int RowCount() const { return static_cast<int>(rows_.size()); }
    bool HasText() const; // some row carries text
    // Highlights the row and scrolls it into view; -1 for none. Emits nothing.
    void SetCurrent(int row);
    int Current() const { return current_; }
    void SetRevealed(int row);
    int Revealed() const { return revealed_; }
    void SetDictation(bool on);
    // The mark column: a star on each marked row (marked[i] for row i).
    void SetMarked(const std::vector<bool> &marked);
    bool Marked(int row) const;
    bool Dictation() const;
    // The text the row's text cell shows now (empty while hidden).
    std::string ShownText(int row) const;
    // Shows the window; the first time beside the owner, later where it was left.
    void ShowBesideOwner();

    // A view over the rows as they are: a row's cells are made when it is shown,
    // and a change to one row redraws that row only.
    QTreeView *list = nullptr;
    QTreeWidget *chapterList = nullptr; // hidden without chapters
    QCheckBox *dictationBox = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *exportButton = nullptr;
    QPushButton *forgetButton = nullptr;
    QCheckBox *reviewBox = nullptr;
    QPushButton *openTextButton = nullptr;
    QLabel *statusLabel = nullptr; // the alignment's progress or outcome

    // The status line under the rows; empty hides it.
    void SetStatus(const std::string &text);

signals:
    void rowSelected(int row);
    void rowPlayRequested(int row);
    void saveRequested();
    void exportRequested(); // the button, or Ctrl+E here as in the owner
    void openTextRequested();
    void dictationToggled(bool on);
    void toggleRequested(); // F2 here, as in the owner
    // The transport keys, as in the owner: Space, Left, Right.
    void playPauseRequested();
    void previousRequested();
    void nextRequested();
    void markRequested(); // M here, as in the owner
    void forgetRequested();
    void reviewToggled(bool on);

private:
    class TModel;
    friend class TModel;
    void textChanged(int row);
    TModel *model_ = nullptr;
    bool placed_ = false;
    int placeTries_ = 0;
    int current_ = -1;
    int revealed_ = -1;
    std::vector<TTranscriptRow> rows_;
    std::vector<bool> marked_;
    std::vector<TTranscriptChapter> chapters_;
};

} // namespace vorel::app
