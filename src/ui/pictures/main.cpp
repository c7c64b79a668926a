// Draws the slot view's status pictures at build time: a green lamp (recording), a red lamp (off) and a warning
// sign (error), each 48 x 48 with a transparent background. Usage: make-status-pictures <output folder>

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace
{
constexpr int Size = 48;

QImage NewPicture()
{
  QImage image(Size, Size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  return image;
}

QImage Lamp(const QColor& iLight, const QColor& iDark)
{
  QImage image = NewPicture();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // Socket ring, then the glass lit from the upper left, then a reflex.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(90, 90, 90));
  p.drawEllipse(QRectF(3, 3, 42, 42));
  QRadialGradient glass(QPointF(19, 17), 24, QPointF(17, 15));
  glass.setColorAt(0, iLight.lighter(150));
  glass.setColorAt(0.55, iLight);
  glass.setColorAt(1, iDark);
  p.setBrush(glass);
  p.drawEllipse(QRectF(6, 6, 36, 36));
  p.setBrush(QColor(255, 255, 255, 150));
  p.drawEllipse(QRectF(13, 11, 11, 7));
  return image;
}

QImage WarningSign()
{
  QImage image = NewPicture();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath triangle;
  triangle.moveTo(24, 4);
  triangle.lineTo(45, 42);
  triangle.lineTo(3, 42);
  triangle.closeSubpath();
  p.setPen(QPen(QColor(40, 40, 40), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(QColor(255, 200, 0));
  p.drawPath(triangle);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(20, 20, 20));
  p.drawRoundedRect(QRectF(21.5, 15, 5, 15), 2, 2);
  p.drawEllipse(QRectF(21.5, 33, 5, 5));
  return image;
}
} // namespace

int main(int argc, char** argv)
{
  if (argc != 2)
  {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]) + "/";
  const bool ok = Lamp(QColor(40, 220, 40), QColor(0, 100, 0)).save(folder + "status_ok.png") &&
                  Lamp(QColor(235, 40, 30), QColor(110, 0, 0)).save(folder + "status_disabled.png") &&
                  WarningSign().save(folder + "status_error.png");
  if (!ok)
    std::fprintf(stderr, "cannot write the status pictures into %s\n", argv[1]);
  return ok ? 0 : 1;
}
