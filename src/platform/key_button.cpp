#include "platform/key_button.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace tastrello {

namespace {

constexpr qreal kNameGap = 1;      // pixels between the name's ink and the badge
constexpr int kRingRoom = 8;       // pixels a marker reaches beyond its button's place
constexpr qreal kRingGap = 1.5;    // between the button's edge and the ring
constexpr qreal kRingWidth = 6.5;  // wide enough to be seen at a glance on a grey button

QRectF circleIn(QSizeF size) {
  const qreal d = std::min(size.width(), size.height()) - 3;
  return {(size.width() - d) / 2.0, (size.height() - d) / 2.0, d, d};
}

}  // namespace

KeyFace keyFaceOf(QSizeF size, QSizeF nameInk, QSizeF badge) {
  KeyFace face;
  face.circle = circleIn(size);
  QPointF centre = face.circle.center();
  if (!badge.isEmpty()) {
    face.badge = QRectF(
        QPointF(size.width() - badge.width() - 0.5, size.height() - badge.height() - 0.5), badge);
    // The badge covered the octave's digit ("c1" read "c]"): the name rises just clear of it.
    centre.setY(std::min(centre.y(), face.badge.top() - kNameGap - nameInk.height() / 2));
  }
  face.name = QRectF(QPointF(), nameInk);
  face.name.moveCenter(centre);
  // Whole pixels keep the small letters sharp; down is never taken, so the gap holds.
  face.name.moveTopLeft(QPointF(std::round(face.name.left()), std::floor(face.name.top())));
  return face;
}

QRect markerGeometry(int left, int top, int width, int height) {
  // Rounded, where the window's px() cuts: a marker lies a few twips off its button, and cut
  // the ring would sit a pixel off the button and touch its name (KeyFaceTest sees it).
  const auto pixels = [](int twips) { return static_cast<int>(std::lround(twips / 15.0)); };
  return QRect(pixels(left), pixels(top), pixels(width), pixels(height))
      .adjusted(-kRingRoom, -kRingRoom, kRingRoom, kRingRoom);
}

KeyButton::KeyButton(bool marker, QWidget* parent) : QAbstractButton(parent), marker_(marker) {
  if (marker) setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(marker ? Qt::NoFocus : Qt::TabFocus);
}

void KeyButton::setColour(QColor c) {
  if (c != colour_) colour_ = c, update();
}

void KeyButton::setKeyLetter(const QString& letter) {
  if (letter != keyLetter_) keyLetter_ = letter, update();
}

void KeyButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  if (marker_)
    paintRing(p);
  else
    paintButton(p);
}

QFont KeyButton::badgeFont() const {
  QFont small = font();
  small.setPixelSize(10);
  small.setBold(true);
  return small;
}

void KeyButton::paintButton(QPainter& p) {
  const QRectF ink = QFontMetricsF(font()).tightBoundingRect(text());
  QSizeF badge;
  if (!keyLetter_.isEmpty())
    badge = QSizeF(
        std::max<qreal>(14, QFontMetricsF(badgeFont()).horizontalAdvance(keyLetter_) + 4), 12);
  face_ = keyFaceOf(size(), ink.size(), badge);

  const QRectF& r = face_.circle;
  const qreal d = r.width();
  QRadialGradient g(r.center() - QPointF(d / 5, d / 5), d * 0.75);
  g.setColorAt(0, colour_.lighter(135));
  g.setColorAt(1, colour_.darker(125));
  p.setPen(QPen(hasFocus() ? QColor(30, 100, 230) : QColor(60, 50, 40), hasFocus() ? 2.5 : 1.2));
  p.setBrush(isDown() ? QBrush(colour_.darker(130)) : QBrush(g));
  p.drawEllipse(r);
  p.setPen(QColor(25, 20, 15));
  p.setFont(font());
  p.drawText(face_.name.topLeft() - ink.topLeft(), text());  // the ink lands on face_.name
  if (face_.badge.isEmpty()) return;
  // The computer key that plays this button.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 80, 170));
  p.drawRoundedRect(face_.badge, 3, 3);
  p.setFont(badgeFont());
  p.setPen(Qt::white);
  p.drawText(face_.badge, Qt::AlignCenter, keyLetter_);
}

void KeyButton::paintRing(QPainter& p) {
  // Around the button's circle as the button draws it, in the middle of the marker: the ring
  // lies under the buttons and covers nothing of the one it marks.
  const QRectF button =
      circleIn(size() - QSize(2 * kRingRoom, 2 * kRingRoom)).translated(kRingRoom, kRingRoom);
  ringInside_ = button.adjusted(-kRingGap, -kRingGap, kRingGap, kRingGap);
  ringOutside_ = ringInside_.adjusted(-kRingWidth, -kRingWidth, kRingWidth, kRingWidth);
  QPainterPath ring;
  ring.addEllipse(ringOutside_);
  ring.addEllipse(ringInside_);
  p.setPen(QPen(QColor(20, 90, 220), 1.2));
  p.setBrush(QColor(40, 120, 255));
  p.drawPath(ring);
}

}  // namespace tastrello
