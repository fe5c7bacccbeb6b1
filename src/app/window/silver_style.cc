#include "app/window/silver_style.h"

#include <QApplication>
#include <QFrame>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QStyleFactory>
#include <QStyleOption>

namespace qvod {
namespace {

const QColor kEditShadow(165, 164, 181);
const QColor kButtonTop(255, 255, 255);
const QColor kButtonBottom(214, 213, 226);
const QColor kButtonBorder(150, 148, 170);
const QColor kHoverGlow(248, 179, 48);
const QColor kGroupTitle(0, 70, 213);
constexpr int kGroupTitleIndent = 8;
constexpr int kGroupTitlePadding = 2;

// Draws a one-pixel rectangle just inside rect.
void DrawLineFrame(QPainter* painter, const QRect& rect, const QColor& color) {
  painter->save();
  painter->setPen(color);
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(rect.adjusted(0, 0, -1, -1));
  painter->restore();
}

void DrawButtonPanel(QPainter* painter, const QStyleOption* option) {
  const bool pressed = (option->state & (QStyle::State_Sunken | QStyle::State_On)) != 0;
  const bool hovered = (option->state & QStyle::State_MouseOver) != 0;
  const bool enabled = (option->state & QStyle::State_Enabled) != 0;
  const QRectF r = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);

  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, true);
  QLinearGradient fill(r.topLeft(), r.bottomLeft());
  fill.setColorAt(0, pressed ? kButtonBottom : kButtonTop);
  fill.setColorAt(1, pressed ? kButtonTop : kButtonBottom);
  QPainterPath path;
  path.addRoundedRect(r, 3, 3);
  painter->fillPath(path, fill);
  painter->setPen(enabled ? kButtonBorder : kSilverFrame);
  painter->drawPath(path);
  if (hovered && enabled && !pressed) {
    painter->setPen(QPen(kHoverGlow, 1));
    painter->drawRoundedRect(r.adjusted(1, 1, -1, -1), 2, 2);
  }
  painter->restore();
}

}  // namespace

SilverStyle::SilverStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QPalette SilverStyle::standardPalette() const {
  QPalette palette = QProxyStyle::standardPalette();
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Window, kButtonFace);
    palette.setColor(group, QPalette::Button, kButtonFace);
    palette.setColor(group, QPalette::WindowText, Qt::black);
    palette.setColor(group, QPalette::ButtonText, Qt::black);
    palette.setColor(group, QPalette::Base, Qt::white);
    palette.setColor(group, QPalette::Text, Qt::black);
    palette.setColor(group, QPalette::Highlight, QColor(49, 106, 197));
    palette.setColor(group, QPalette::HighlightedText, Qt::white);
  }
  palette.setColor(QPalette::Disabled, QPalette::Window, kButtonFace);
  palette.setColor(QPalette::Disabled, QPalette::Button, kButtonFace);
  return palette;
}

void SilverStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                QPainter* painter, const QWidget* widget) const {
  switch (element) {
    case PE_PanelLineEdit: {
      // The sunken border of the one-line boxes: the frame colour outside, a
      // shadow line along the top and left inside.
      painter->fillRect(option->rect.adjusted(1, 1, -1, -1), option->palette.base());
      DrawLineFrame(painter, option->rect, kSilverFrame);
      painter->save();
      painter->setPen(kEditShadow);
      const QRect inner = option->rect.adjusted(1, 1, -2, -2);
      painter->drawLine(inner.topLeft(), inner.topRight());
      painter->drawLine(inner.topLeft(), inner.bottomLeft());
      painter->restore();
      return;
    }
    case PE_FrameLineEdit:
    case PE_Frame:
      DrawLineFrame(painter, option->rect, kSilverFrame);
      return;
    case PE_FrameGroupBox: {
      painter->save();
      painter->setRenderHint(QPainter::Antialiasing, true);
      painter->setPen(kSilverFrame);
      painter->setBrush(Qt::NoBrush);
      painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
      painter->restore();
      return;
    }
    case PE_PanelButtonCommand:
      DrawButtonPanel(painter, option);
      return;
    default:
      QProxyStyle::drawPrimitive(element, option, painter, widget);
  }
}

void SilverStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                              const QWidget* widget) const {
  if (element == CE_ShapedFrame) {
    if (const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
        frame != nullptr && frame->frameShape != QFrame::NoFrame &&
        frame->frameShape != QFrame::HLine && frame->frameShape != QFrame::VLine) {
      DrawLineFrame(painter, option->rect, kSilverFrame);
      return;
    }
  }
  QProxyStyle::drawControl(element, option, painter, widget);
}

void SilverStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                     QPainter* painter, const QWidget* widget) const {
  const auto* group = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
  if (control != CC_GroupBox || group == nullptr) {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    return;
  }
  // The frame runs through the middle of the title, broken where the title stands.
  const QRect frame = subControlRect(control, option, SC_GroupBoxFrame, widget);
  const QRect label = subControlRect(control, option, SC_GroupBoxLabel, widget);
  painter->save();
  if (!group->text.isEmpty()) {
    QRegion clip(option->rect);
    clip -= QRegion(label);
    painter->setClipRegion(clip);
  }
  QStyleOption frame_option(*option);
  frame_option.rect = frame;
  drawPrimitive(PE_FrameGroupBox, &frame_option, painter, widget);
  painter->restore();
  if (!group->text.isEmpty()) {
    painter->save();
    painter->setPen((option->state & State_Enabled) != 0 ? kGroupTitle : kSilverFrame.darker());
    painter->drawText(label, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextHideMnemonic,
                      group->text);
    painter->restore();
  }
}

QRect SilverStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                  SubControl sub_control, const QWidget* widget) const {
  const auto* group = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
  if (control != CC_GroupBox || group == nullptr) {
    return QProxyStyle::subControlRect(control, option, sub_control, widget);
  }
  const int text_height = option->fontMetrics.height();
  const QRect frame = option->rect.adjusted(0, text_height / 2, 0, 0);
  switch (sub_control) {
    case SC_GroupBoxFrame:
      return frame;
    case SC_GroupBoxLabel: {
      if (group->text.isEmpty()) {
        return {};
      }
      const int width = option->fontMetrics.horizontalAdvance(group->text) + 2 * kGroupTitlePadding;
      return QRect(option->rect.left() + kGroupTitleIndent, option->rect.top(), width, text_height);
    }
    case SC_GroupBoxContents:
      return frame.adjusted(1, text_height / 2 + 1, -1, -1);
    default:
      return QProxyStyle::subControlRect(control, option, sub_control, widget);
  }
}

int SilverStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                             const QWidget* widget) const {
  if (metric == PM_DefaultFrameWidth) {
    return 1;
  }
  return QProxyStyle::pixelMetric(metric, option, widget);
}

void SwitchOnSilverLook() {
  auto* style = new SilverStyle;  // the application takes ownership
  QApplication::setStyle(style);
  QApplication::setPalette(style->standardPalette());
}

}  // namespace qvod
