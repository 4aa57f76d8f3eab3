// A round accordion button of the Qt window, and the ring that marks one during replay. A
// button shows its note's name and, while the keys are shown, the computer key that plays it
// on a badge; the ring lies under the buttons, around the one to press, so that the name and
// the key's letter stay readable with it.
#pragma once

#include <QAbstractButton>
#include <QRect>

namespace tastrello {

/// Where the parts of a button's face are drawn, in the button's own pixels.
struct KeyFace {
  QRectF circle;  ///< the button itself
  QRectF name;    ///< the ink of the note's name
  QRectF badge;   ///< the badge with the key's letter (empty when no key is shown)
};

/// The face of a button of `size` whose name inks `nameInk` and whose badge is `badge` big
/// (empty for none): the badge in the lower right corner, the name in the middle of the
/// circle, or raised just clear of the badge's top edge where they would touch.
KeyFace keyFaceOf(QSizeF size, QSizeF nameInk, QSizeF badge);

/// The pixels a marker takes for its place in twips (a few twips off the place of the button it
/// marks): that place to the nearest pixel, and the ring's room around it.
QRect markerGeometry(int left, int top, int width, int height);

class KeyButton : public QAbstractButton {
 public:
  /// A button, or (`marker`) the ring around a button to press.
  KeyButton(bool marker, QWidget* parent);
  void setColour(QColor c);
  void setKeyLetter(const QString& letter);

  /// The face as last painted (a button), for checking that no part covers another.
  const KeyFace& face() const { return face_; }
  /// The ring as last painted (a marker): the circles it lies between.
  const QRectF& ringInside() const { return ringInside_; }
  const QRectF& ringOutside() const { return ringOutside_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  void paintButton(QPainter& p);
  void paintRing(QPainter& p);
  QFont badgeFont() const;

  QString keyLetter_;
  bool marker_;
  QColor colour_ = QColor(192, 192, 192);
  KeyFace face_;
  QRectF ringInside_, ringOutside_;
};

}  // namespace tastrello
