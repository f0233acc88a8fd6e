// The about box, shown modal from the main window's menu item "关于(&O)".
// Its two link labels open their addresses in the default browser.
#pragma once
#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace talvora {

// The addresses the about box links to; the labels open what they show.
inline constexpr const char* kAboutLink1 = "http://www.example.com/talvora/";
inline constexpr const char* kAboutLink2 = "http://www.example.org/teaching-resources/";

class aboutKOVA : public QDialog {
  Q_OBJECT

 public:
  explicit aboutKOVA(QWidget* parent = nullptr);

  QPlainTextEdit* Text1;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  // The close button; the underscore keeps QWidget::close() usable.
  QPushButton* close_;

 public slots:
  void close_Click();
  void Label2_Click();
  void Label3_Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace talvora
