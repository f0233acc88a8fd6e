// The busy note "正在压缩 ......", up while a site is packed. The caller
// makes it visible, runs the archiver (which blocks the UI thread) and
// deletes it afterwards; it keeps no data.
#pragma once
#include <QWidget>

class QLabel;

namespace talvora {

class ShowMeg : public QWidget {
  Q_OBJECT

 public:
  // Centres itself on the screen (Form_Load); not yet visible.
  explicit ShowMeg(QWidget* parent = nullptr);

  QLabel* Label1;

  // Brings the note up at the top of the window order and paints it before
  // returning: the caller's archiver run blocks the UI thread next, and a
  // note still waiting to be exposed would stay an empty strip throughout.
  void ShowNow();

 public slots:
  void Form_Load();

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool frameKnown_ = false;
};

}  // namespace talvora
