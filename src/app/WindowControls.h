#pragma once

#include <QList>
#include <QObject>

class QBoxLayout;
class QCheckBox;
class QColor;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTreeView;
class QWidget;

namespace brinmoor::filelist {
class FileListView;
} // namespace brinmoor::filelist

namespace brinmoor {
class TextListModel;
}

namespace brinmoor::app {

class CaptionProgressBar;

// The main window's controls, laid out in it: two columns that scroll when
// the window is too short, button rows that wrap when it is too narrow, the
// progress row below the right column, the tab order and the keys named in
// the buttons' tooltips. Each control keeps its designer name as its object
// name (noted beside it); tests and the control table find them by it.
class WindowControls : public QObject
{
    Q_OBJECT
public:
    // The design size of the window's client area, in pixels at 100 %.
    static constexpr int DesignWidth = 1064;
    static constexpr int DesignHeight = 386;

    struct Lists
    {
        TextListModel *files;
        TextListModel *words;
        TextListModel *results;
    };
    WindowControls(QWidget &window, const Lists &lists);

    filelist::FileListView *fileList = nullptr;       // ListView1
    QTreeView *wordList = nullptr;                    // ListView2
    QTreeView *resultList = nullptr;                  // ListView3
    QPushButton *addFiles = nullptr;                  // PushButton1
    QPushButton *addFolder = nullptr;                 // PushButton5
    QPushButton *clearFiles = nullptr;                // PushButton3
    QPushButton *loadSampleFiles = nullptr;           // PushButton11
    QPushButton *startCounting = nullptr;             // PushButton12
    QPushButton *saveResultsAsText = nullptr;         // PushButton9
    QPushButton *saveResultsAsWorkbook = nullptr;     // PushButton10
    QPushButton *copyResults = nullptr;               // PushButton18
    QPushButton *clearResults = nullptr;              // PushButton14
    QPushButton *addWord = nullptr;                   // PushButton2
    QPushButton *deleteWord = nullptr;                // PushButton7
    QPushButton *clearWords = nullptr;                // PushButton8
    QPushButton *loadSampleWords = nullptr;           // PushButton13
    QGroupBox *blankOptions = nullptr;                // Frame4
    QCheckBox *excludeBlankLines = nullptr;           // Check3
    QGroupBox *countOptions = nullptr;                // Frame2
    QRadioButton *oneCount = nullptr;                 // Option1
    QRadioButton *separateCounts = nullptr;           // Option2
    CaptionProgressBar *progress = nullptr;           // ProgressBar1
    QPushButton *stop = nullptr;                      // StopButton
    // The controls that show the hand pointer on hover.
    QList<QWidget *> handPointed;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Two buttons side by side, or one above the other where the column is
    // too narrow for both captions whole.
    struct ButtonRow
    {
        QBoxLayout *layout;
        const QScrollArea *column;
        QPushButton *first;
        QPushButton *second;
    };
    void wrapButtonRows(const QScrollArea *column);

    QList<ButtonRow> m_buttonRows;
    QScrollArea *m_leftColumn = nullptr;
    QScrollArea *m_rightColumn = nullptr;
};

// The back colour of a control (and of the window): buttons, check boxes
// and option buttons included, which fill with the button colour otherwise.
void setBackColour(QWidget *widget, const QColor &colour);

} // namespace brinmoor::app
