// The silver look: a style in the manner of the XP silver scheme, drawn over
// Qt's Fusion style, with the button-face background and control frames in
// RGB 198,197,215.
#pragma once

#include <QColor>
#include <QPalette>
#include <QProxyStyle>

namespace qvod {

// The colours of the look.
inline const QColor kButtonFace(224, 223, 227);
inline const QColor kSilverFrame(198, 197, 215);

class SilverStyle : public QProxyStyle {
  Q_OBJECT

 public:
  SilverStyle();

  // Returns the palette of the look: button-face backgrounds, black text on white
  // in edit boxes.
  QPalette standardPalette() const override;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget = nullptr) const override;
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                       SubControl sub_control, const QWidget* widget = nullptr) const override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;
};

// Switches the look on for every widget of the application, those that exist
// and those made later.
void SwitchOnSilverLook();

}  // namespace qvod
