#include "app/window/hyperlink_box.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include "platform/services.h"

namespace qvod {

HyperlinkBox::HyperlinkBox(QWidget* parent) : QWidget(parent) {
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_Hover, true);
}

void HyperlinkBox::SetCaption(const QString& caption) {
  caption_ = caption;
  update();
}

void HyperlinkBox::SetAddress(const QString& address) {
  address_ = address;
  update();
}

void HyperlinkBox::SetNormalColor(const QColor& color) {
  normal_ = color;
  update();
}

QColor HyperlinkBox::CurrentColor() const {
  if (hovered_) {
    return hover_;
  }
  return visited_ ? visited_color_ : normal_;
}

QString HyperlinkBox::ShownText() const { return caption_.isEmpty() ? address_ : caption_; }

QSize HyperlinkBox::sizeHint() const { return fontMetrics().size(Qt::TextSingleLine, ShownText()); }

void HyperlinkBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(CurrentColor());
  painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, ShownText());
}

void HyperlinkBox::enterEvent(QEnterEvent*) {
  hovered_ = true;
  update();
}

void HyperlinkBox::leaveEvent(QEvent*) {
  hovered_ = false;
  update();
}

void HyperlinkBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  // Without a shell to open it the link stays as it was: only a successful
  // open takes the after-click colour.
  if (platform::GetServices()->OpenUrl(address_.toStdString())) {
    visited_ = true;
    update();
  }
}

}  // namespace qvod
