// Shared pieces of the program's windows: the window font, lowered panels, centring, and the
// one function every window reports to the user through (tests install an interceptor instead
// of answering a modal box). Geometry is in device-independent pixels.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <functional>

class QFrame;
class QWidget;

namespace vorn {

// Tahoma where installed, otherwise the desktop's sans-serif, at pixelSize (11 = Tahoma 8 pt).
QFont FormFont(int pixelSize = 11, bool bold = false);

// A panel with a lowered bevel at geometry inside parent.
QFrame* MakeLoweredPanel(QWidget* parent, const QRect& geometry);

// Moves a top-level window so that it is centred on the screen it is on.
void CenterOnScreen(QWidget* window);

enum class TMsgButtons { Ok, YesNo };
enum class TMsgIcon { None, Information, Warning, Critical, Question };
enum class TMsgResult { Ok, Yes, No };

struct TMessageRequest {
    QString text;
    QString caption;
    TMsgButtons buttons = TMsgButtons::Ok;
    TMsgIcon icon = TMsgIcon::None;
};

using TMessageInterceptor = std::function<TMsgResult(const TMessageRequest&)>;

// While set, every message goes to interceptor instead of a message box; empty = boxes again.
void SetMessageInterceptor(TMessageInterceptor interceptor);

// Shows a modal message box (owner nullptr = owned by the application) and answers the button.
TMsgResult ShowMessageBox(const QString& text, const QString& caption, TMsgButtons buttons = TMsgButtons::Ok,
                          TMsgIcon icon = TMsgIcon::None, QWidget* owner = nullptr);

} // namespace vorn
