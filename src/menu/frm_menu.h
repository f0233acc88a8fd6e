// The hidden owner window of the popup menu. Its window receives the menu's
// messages through its window procedure, which the menu component replaces
// while it is in use, and its picture is the left-bar image of style 4.
#pragma once
#include <cstdint>
#include <memory>

#include <QPixmap>
#include <QWidget>

#include "menu/owner_draw_menu.h"

namespace talvora {

// A picture object: shared, never copied; an empty picture holds a null
// pixmap (handle 0), and no object at all is a null pointer.
using StdPicture = std::shared_ptr<const QPixmap>;
StdPicture EmptyPicture();
// True when the picture holds an image (its handle is not 0).
bool HasHandle(const StdPicture& picture);

class frmMenu : public QWidget {
 public:
  // Loads the form on first use (it stays hidden) and returns it.
  static frmMenu* Load();
  // The loaded form, or nullptr.
  static frmMenu* Loaded();
  // Unloads the form; a form that is not loaded is left alone.
  static void Unload();

  // The left-bar picture, 20 x 485 pixels.
  const StdPicture& Picture() const { return picture_; }

  // Replaces the window procedure and returns the one before.
  WNDPROC SetWindowProc(WNDPROC proc);
  WNDPROC WindowProc() const { return proc_; }
  // Delivers a message to the window's current procedure.
  intptr_t SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam);

  // What the window does with a message nobody else handles: nothing.
  static intptr_t DefWindowProc(QWidget* hwnd, uint32_t uMsg, uintptr_t wParam, intptr_t lParam);

 private:
  frmMenu();
  ~frmMenu() override;

  StdPicture picture_;
  WNDPROC proc_ = &frmMenu::DefWindowProc;
};

}  // namespace talvora
