// The import dialog: unpacks a resource package (a .rar archive of a
// generated site) into a folder the user chooses, checks that what came out
// is a site of the current kind and, on request, opens its entry page.
#pragma once
#include <QDialog>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace talvora {

class Dialog : public QDialog {
  Q_OBJECT

 public:
  explicit Dialog(QWidget* owner = nullptr);

  QLabel* Image1;
  QLabel* Label1;
  QLabel* Label3;
  QFrame* Line1;
  QLabel* Label2;
  QLineEdit* rarPath;
  QPushButton* Command1;
  QLabel* Label4;
  QLineEdit* inputPath;
  QPushButton* Command2;
  QCheckBox* delCheck;
  QCheckBox* viewCheck;
  QProgressBar* inputBar;
  QPushButton* OKButton;
  QPushButton* CancelButton;

 public slots:
  void Command1_Click();
  void Command2_Click();
  // Both fields holding text enables the import; neither change disables it.
  void rarPath_Change();
  void inputPath_Change();
  void OKButton_Click();
  void CancelButton_Click();
};

}  // namespace talvora
