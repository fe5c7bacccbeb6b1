// The version link 超级链接框1: a one-line caption centred in its box that opens
// its web address when clicked.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace qvod {

class HyperlinkBox : public QWidget {
  Q_OBJECT

 public:
  explicit HyperlinkBox(QWidget* parent = nullptr);

  // Returns the caption (the text shown unless it is empty).
  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);

  // Returns the web address that a click opens.
  QString Address() const { return address_; }
  void SetAddress(const QString& address);

  // Returns the colour the text is drawn in while the mouse is elsewhere and
  // no click has opened the address.
  QColor NormalColor() const { return normal_; }
  void SetNormalColor(const QColor& color);

  // Returns the colour the text is drawn in now.
  QColor CurrentColor() const;

  // Returns true once a click has opened the address.
  bool Visited() const { return visited_; }

  // Returns the text drawn: the caption, or the address when the caption is empty.
  QString ShownText() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QString caption_;
  QString address_;
  QColor normal_{192, 192, 192};
  QColor hover_{51, 153, 255};
  QColor visited_color_{192, 192, 192};
  bool hovered_ = false;
  bool visited_ = false;
};

}  // namespace qvod
