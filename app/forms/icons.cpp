#include "app/forms/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>

namespace {

QImage Blank(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// A page with a folded corner, the shape of the file buttons.
void Page(QPainter& p, QRectF r, const QColor& fill) {
  const qreal fold = r.width() * 0.35;
  QPainterPath path;
  path.moveTo(r.left(), r.top());
  path.lineTo(r.right() - fold, r.top());
  path.lineTo(r.right(), r.top() + fold);
  path.lineTo(r.right(), r.bottom());
  path.lineTo(r.left(), r.bottom());
  path.closeSubpath();
  p.setPen(QPen(QColor(60, 60, 70), 1));
  p.setBrush(fill);
  p.drawPath(path);
}

// Three by three tiles of a warm-to-cool texture: the program's mark.
void Tiles(QPainter& p, QRectF r, int grid) {
  const qreal cw = r.width() / grid, ch = r.height() / grid;
  for (int y = 0; y < grid; ++y)
    for (int x = 0; x < grid; ++x) {
      QRectF cell(r.left() + x * cw, r.top() + y * ch, cw, ch);
      QLinearGradient g(cell.topLeft(), cell.bottomRight());
      g.setColorAt(0, QColor(255, 196, 64));
      g.setColorAt(0.5, QColor(224, 80, 120));
      g.setColorAt(1, QColor(64, 112, 224));
      p.fillRect(cell, g);
      p.setPen(QPen(QColor(255, 255, 255, 160), 0));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(cell.center(), cw * 0.28, ch * 0.28);
    }
}

QImage DrawToolbarImage(int image) {
  QImage img = Blank(16);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink(40, 60, 110);
  switch (image) {
    case ImageSave: {
      p.setPen(QPen(ink, 1));
      p.setBrush(QColor(80, 120, 200));
      p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.5, 1.5);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4, 2, 8, 5));
      p.setBrush(QColor(200, 210, 230));
      p.drawRect(QRectF(4.5, 10, 7, 4.5));
      break;
    }
    case ImageCopy:
      Page(p, QRectF(1.5, 1.5, 8.5, 10), QColor(235, 240, 250));
      Page(p, QRectF(6, 4.5, 8.5, 10), Qt::white);
      break;
    case ImageRemove:
      p.setPen(QPen(QColor(200, 40, 40), 2.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(4, 4), QPointF(12, 12));
      p.drawLine(QPointF(12, 4), QPointF(4, 12));
      break;
    case ImageAddToStock:
      p.setPen(QPen(ink, 1));
      p.setBrush(QColor(210, 170, 110));
      p.drawRect(QRectF(1.5, 7.5, 13, 7));
      p.setPen(QPen(QColor(30, 150, 60), 2.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(8, 1.5), QPointF(8, 8.5));
      p.drawLine(QPointF(4.5, 5), QPointF(11.5, 5));
      break;
    case ImageVariations: {
      const QColor colours[4] = {QColor(240, 150, 60), QColor(220, 80, 120), QColor(80, 160, 220),
                                 QColor(90, 190, 110)};
      for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(ink, 1));
        p.setBrush(colours[i]);
        p.drawRect(QRectF(1.5 + (i % 2) * 7, 1.5 + (i / 2) * 7, 6, 6));
      }
      break;
    }
    case ImageResize:
      p.setPen(QPen(ink, 1));
      p.setBrush(QColor(200, 220, 245));
      p.drawRect(QRectF(1.5, 7.5, 7, 7));
      p.setPen(QPen(ink, 1.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(7, 9), QPointF(14, 2));
      p.drawLine(QPointF(9.5, 2), QPointF(14, 2));
      p.drawLine(QPointF(14, 2), QPointF(14, 6.5));
      break;
    case ImageStock:
      p.setPen(QPen(ink, 1));
      p.setBrush(QColor(210, 170, 110));
      p.drawRect(QRectF(1.5, 5.5, 13, 9));
      p.setBrush(QColor(180, 135, 80));
      p.drawRect(QRectF(0.5, 2.5, 15, 3));
      p.drawLine(QPointF(6, 8.5), QPointF(10, 8.5));
      break;
    case ImageTiling: Tiles(p, QRectF(1, 1, 14, 14), 3); break;
    case ImageAbout:
      p.setPen(QPen(ink, 1));
      p.setBrush(QColor(70, 130, 220));
      p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
      p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
      p.drawPoint(QPointF(8, 4.8));
      p.drawLine(QPointF(8, 7.5), QPointF(8, 11.5));
      break;
    case ImageSaveRecipe:
    case ImageOpenRecipe: {
      Page(p, QRectF(2.5, 1.5, 10, 13), Qt::white);
      p.setPen(QPen(QColor(120, 130, 150), 1));
      for (int i = 0; i < 3; ++i) p.drawLine(QPointF(4.5, 7 + 2.5 * i), QPointF(10.5, 7 + 2.5 * i));
      p.setPen(
          QPen(image == ImageSaveRecipe ? QColor(30, 150, 60) : QColor(220, 130, 30), 2, Qt::SolidLine, Qt::RoundCap));
      if (image == ImageSaveRecipe) {
        p.drawLine(QPointF(13, 8), QPointF(13, 14.5));
        p.drawLine(QPointF(11, 12.5), QPointF(13, 14.5));
        p.drawLine(QPointF(15, 12.5), QPointF(13, 14.5));
      } else {
        p.drawLine(QPointF(13, 14.5), QPointF(13, 8));
        p.drawLine(QPointF(11, 10), QPointF(13, 8));
        p.drawLine(QPointF(15, 10), QPointF(13, 8));
      }
      break;
    }
    case ImageEditRecipe: {
      // The recipe page with a pencil across it.
      Page(p, QRectF(1.5, 1.5, 10, 13), Qt::white);
      p.setPen(QPen(QColor(120, 130, 150), 1));
      for (int i = 0; i < 3; ++i) p.drawLine(QPointF(3.5, 6 + 2.5 * i), QPointF(8.5, 6 + 2.5 * i));
      p.setPen(QPen(QColor(230, 170, 40), 3, Qt::SolidLine, Qt::FlatCap));
      p.drawLine(QPointF(14.5, 4), QPointF(7.5, 11));
      p.setPen(QPen(ink, 1.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(7.5, 11), QPointF(6, 12.5));
      break;
    }
    default: break;
  }
  return img;
}

}  // namespace

QIcon ToolbarIcon(int image) { return QIcon(QPixmap::fromImage(DrawToolbarImage(image))); }

QImage ProgramIconImage(int size) {
  QImage img = Blank(size);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal margin = size / 16.0;
  const QRectF r(margin, margin, size - 2 * margin, size - 2 * margin);
  QPainterPath clip;
  clip.addRoundedRect(r, size / 8.0, size / 8.0);
  p.setClipPath(clip);
  Tiles(p, r, 3);
  p.setClipping(false);
  p.setPen(QPen(QColor(40, 40, 60), std::max(1.0, size / 48.0)));
  p.setBrush(Qt::NoBrush);
  p.drawPath(clip);
  return img;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
  return icon;
}

QIcon SquareIcon() {
  QImage img = Blank(16);
  QPainter p(&img);
  p.setPen(QPen(QColor(40, 60, 110), 1));
  p.setBrush(QColor(200, 220, 245));
  p.drawRect(QRectF(2.5, 2.5, 11, 11));
  p.setPen(QPen(QColor(40, 60, 110), 1, Qt::DotLine));
  p.drawLine(QPointF(2.5, 2.5), QPointF(13.5, 13.5));
  p.end();
  return QIcon(QPixmap::fromImage(img));
}
