// Shared pieces of the program's windows: the window font, lowered panels, centring, the list of
// export file types, and the message presenter every window reports to the user through (message
// boxes; tests pass one that records instead of answering a modal box). Geometry is in
// device-independent pixels.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>

class QFrame;
class QWidget;

namespace vorn {

// Tahoma where installed, otherwise the desktop's sans-serif, at pixelSize (11 = Tahoma 8 pt).
QFont FormFont(int pixelSize = 11, bool bold = false);

// A panel with a lowered bevel at geometry inside parent.
QFrame* MakeLoweredPanel(QWidget* parent, const QRect& geometry);

// Moves a top-level window so that it is centred on the screen it is on.
void CenterOnScreen(QWidget* window);
// Moves a dialog so that it is centred on its owner's window; nothing without an owner.
void CenterOnOwner(QWidget* dialog);

// ExportFilter of each of ExportFileTypes, in their order: the save dialog's filters and the
// batch dialog's file types.
QStringList ExportFilterList();

enum class TMsgButtons { Ok, YesNo };
enum class TMsgIcon { None, Information, Warning, Critical, Question };
enum class TMsgResult { Ok, Yes, No };

struct TMessageRequest {
    QString text;
    QString caption;
    TMsgButtons buttons = TMsgButtons::Ok;
    TMsgIcon icon = TMsgIcon::None;
    // A check box below the text ("Don't ask again") when not empty; checked holds its state,
    // shown at first and set to what the user left it at.
    QString checkBox;
    bool* checked = nullptr;
};

// Shows a message to the user and answers the button pressed. The windows that report are given
// one; MessageBoxPresenter() is the program's.
class TMessagePresenter {
public:
    virtual ~TMessagePresenter() = default;
    virtual TMsgResult Show(const TMessageRequest& request, QWidget* owner) = 0;
};

// Modal message boxes (owner nullptr = owned by the application).
TMessagePresenter& MessageBoxPresenter();

// Shows a message through presenter and answers the button.
TMsgResult ShowMessageBox(TMessagePresenter& presenter, const QString& text, const QString& caption,
                          TMsgButtons buttons = TMsgButtons::Ok, TMsgIcon icon = TMsgIcon::None,
                          QWidget* owner = nullptr);

// text quoted for a message: at most maxChars characters, the rest cut off with an ellipsis.
QString QuotedExcerpt(const QString& text, qsizetype maxChars = 40);

} // namespace vorn
