// The help viewer, shown modal from the toolbar's "帮助": the rich text of
// config/read.rtf in the program folder, read-only. Each new viewer reads the
// file again, so it always shows the file's current content.
#pragma once
#include <QDialog>

class QPushButton;
class QTextEdit;

namespace talvora {

class explain : public QDialog {
  Q_OBJECT

 public:
  // Loads the help text (Form_Load) before the caller shows the viewer.
  explicit explain(QWidget* parent = nullptr);

  QTextEdit* read;
  // The close button; the underscore keeps QWidget::close() usable.
  QPushButton* close_;

 public slots:
  void Form_Load();
  void close_Click();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace talvora
