#ifndef ENDBOXES_H
#define ENDBOXES_H

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class AppWindow;

// A window's game ended as a player at the keyboard meets it, in full screen:
// the game-over box, the name and the list, each answered with a Return
// that pressReturn sends through the display's own keyboard.
namespace EndBoxes {

// The game's window, shown in full screen as its settings below configFolder
// (which becomes XDG_CONFIG_HOME) say; null when it is not.
std::unique_ptr<AppWindow> openFullScreen(const QString& configFolder);
// Ends the game with a place in the list; for each box as it came, its object
// name and whether it had the keyboard ("endBox:1"), then "stayed" when
// Return left it open.
QStringList endAndAnswer(AppWindow& window, const std::function<void()>& pressReturn);

} // namespace EndBoxes

#endif
