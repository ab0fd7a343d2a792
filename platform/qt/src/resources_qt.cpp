#include "platform_qt/resources_qt.h"

#include <QLinearGradient>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QToolBar>
#include <functional>

#include "platform_qt/command_table.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/strings.h"

namespace kestrune::platform_qt {
namespace {

using Draw = std::function<void(QPainter&)>;

// Draws on a 16 x 16 grid, scaled to the pixmap's size.
QPixmap Render(int size, const Draw& draw) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.scale(size / 16.0, size / 16.0);
  draw(painter);
  return pixmap;
}

QIcon MakeIcon(const Draw& draw) {
  QIcon icon;
  icon.addPixmap(Render(16, draw));
  icon.addPixmap(Render(32, draw));
  return icon;
}

const QColor kOutline(40, 40, 48);
const QColor kDiskBody(176, 180, 188);
const QColor kBlue(30, 90, 200);
const QColor kGreen(40, 160, 60);
const QColor kRed(210, 30, 30);
const QColor kYellow(245, 200, 40);

void DrawDisk(QPainter& p, QRectF r) {
  p.setPen(QPen(kOutline, 0.8));
  p.setBrush(kDiskBody);
  p.drawRoundedRect(r, 1.2, 1.2);
  p.setPen(Qt::NoPen);
  p.setBrush(kGreen);
  p.drawEllipse(QPointF(r.right() - 2.0, r.bottom() - 1.8), 0.9, 0.9);
}

void DrawInUse(QPainter& p) {
  p.setPen(QPen(Qt::white, 0.6));
  p.setBrush(kBlue);
  p.drawRect(QRectF(10.5, 10.5, 5, 5));
}

void DrawStack(QPainter& p, const QColor& light) {
  DrawDisk(p, QRectF(1.5, 2.5, 13, 4.5));
  DrawDisk(p, QRectF(1.5, 8.5, 13, 4.5));
  p.setPen(Qt::NoPen);
  p.setBrush(light);
  p.drawEllipse(QPointF(4, 4.75), 1.3, 1.3);
  p.drawEllipse(QPointF(4, 10.75), 1.3, 1.3);
}

void DrawBadge(QPainter& p, const QColor& color, const QString& glyph) {
  p.setPen(QPen(Qt::white, 0.8));
  p.setBrush(color);
  p.drawEllipse(QRectF(8.5, 8.5, 7, 7));
  QFont font = p.font();
  font.setPixelSize(6);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(8.5, 8.5, 7, 7), Qt::AlignCenter, glyph);
}

void DrawCd(QPainter& p) {
  p.setPen(QPen(kOutline, 0.8));
  p.setBrush(QColor(210, 215, 230));
  p.drawEllipse(QRectF(1.5, 1.5, 12, 12));
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(6, 6, 3, 3));
}

void DrawTape(QPainter& p) {
  p.setPen(QPen(kOutline, 0.8));
  p.setBrush(QColor(90, 90, 100));
  p.drawRoundedRect(QRectF(1.5, 3.5, 13, 9), 1, 1);
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(3.5, 5.5, 3, 3));
  p.drawEllipse(QRectF(9.5, 5.5, 3, 3));
}

Draw IconDrawing(unsigned id) {
  switch (id) {
    case res::kIconTray:
      return [](QPainter& p) { DrawStack(p, kGreen); };
    case res::kIconTrayAlert:
      return [](QPainter& p) {
        DrawStack(p, kRed);
        DrawBadge(p, kRed, QStringLiteral("!"));
      };
    case res::kIconWarning:
      return [](QPainter& p) {
        QPainterPath triangle;
        triangle.moveTo(8, 1);
        triangle.lineTo(15, 14.5);
        triangle.lineTo(1, 14.5);
        triangle.closeSubpath();
        p.setPen(QPen(kOutline, 0.8));
        p.setBrush(kYellow);
        p.drawPath(triangle);
        p.setPen(QPen(Qt::black, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 5.5), QPointF(8, 10));
        p.drawPoint(QPointF(8, 12.5));
      };
    case res::kIconComputer:
      return [](QPainter& p) {
        p.setPen(QPen(kOutline, 0.8));
        p.setBrush(QColor(220, 220, 225));
        p.drawRect(QRectF(1.5, 1.5, 13, 9.5));
        p.setBrush(QColor(60, 120, 200));
        p.drawRect(QRectF(3, 3, 10, 6.5));
        p.setBrush(QColor(200, 200, 205));
        p.drawRect(QRectF(6, 11, 4, 2));
        p.drawRect(QRectF(3.5, 13, 9, 2));
      };
    case res::kIconAdapter:
      return [](QPainter& p) {
        p.setPen(QPen(kOutline, 0.8));
        p.setBrush(QColor(30, 130, 70));
        p.drawRect(QRectF(1.5, 3.5, 13, 8));
        p.setBrush(QColor(30, 30, 30));
        p.drawRect(QRectF(5, 5, 5, 4));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 180, 40));
        for (int i = 0; i < 6; ++i) p.drawRect(QRectF(2.5 + 2 * i, 11.5, 1.2, 2.5));
      };
    case res::kIconChannel:
      return [](QPainter& p) {
        p.setPen(QPen(kBlue, 1.4));
        p.setBrush(Qt::NoBrush);
        QPainterPath cable;
        cable.moveTo(3, 13);
        cable.cubicTo(3, 6, 13, 10, 13, 3);
        p.drawPath(cable);
        p.setPen(QPen(kOutline, 0.8));
        p.setBrush(QColor(230, 130, 30));
        p.drawRect(QRectF(1, 12, 4, 3));
        p.drawRect(QRectF(11, 1, 4, 3));
      };
    case res::kIconDiskFree:
      return [](QPainter& p) { DrawDisk(p, QRectF(1.5, 4.5, 13, 7)); };
    case res::kIconDiskInUse:
      return [](QPainter& p) {
        DrawDisk(p, QRectF(1.5, 4.5, 13, 7));
        DrawInUse(p);
      };
    case res::kIconCdromFree:
      return [](QPainter& p) { DrawCd(p); };
    case res::kIconCdromInUse:
      return [](QPainter& p) {
        DrawCd(p);
        DrawInUse(p);
      };
    case res::kIconTapeFree:
      return [](QPainter& p) { DrawTape(p); };
    case res::kIconTapeInUse:
      return [](QPainter& p) {
        DrawTape(p);
        DrawInUse(p);
      };
    case res::kIconSets:
      return [](QPainter& p) {
        p.setPen(QPen(kOutline, 0.8));
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(QRectF(1.5, 4.5, 13, 10));
        p.drawRect(QRectF(1.5, 2.5, 6, 2));
        DrawDisk(p, QRectF(4, 7.5, 8, 4));
      };
    case res::kIconSet:
      return [](QPainter& p) {
        DrawDisk(p, QRectF(0.5, 2.5, 9, 4.5));
        DrawDisk(p, QRectF(6.5, 9.5, 9, 4.5));
        p.setPen(QPen(kBlue, 1.2));
        p.drawLine(QPointF(5, 7), QPointF(11, 9.5));
      };
    case res::kIconMember:
      return [](QPainter& p) {
        DrawDisk(p, QRectF(1.5, 4.5, 13, 7));
        p.setPen(QPen(kBlue, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(10, 10, 4, 4));
        p.drawEllipse(QRectF(12, 12, 3.5, 3.5));
      };
    case res::kIconDriver:
      return [](QPainter& p) {
        p.setPen(QPen(kOutline, 0.8));
        p.setBrush(QColor(150, 150, 160));
        for (int i = 0; i < 8; ++i) {
          p.save();
          p.translate(8, 8);
          p.rotate(45.0 * i);
          p.drawRect(QRectF(-1.2, -7.5, 2.4, 3));
          p.restore();
        }
        p.drawEllipse(QRectF(3, 3, 10, 10));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(6, 6, 4, 4));
      };
    case res::kIconUnassigned:
      return [](QPainter& p) {
        DrawDisk(p, QRectF(1.5, 4.5, 13, 7));
        DrawBadge(p, QColor(120, 120, 120), QStringLiteral("?"));
      };
    case res::kIconSpare:
      return [](QPainter& p) {
        DrawDisk(p, QRectF(1.5, 4.5, 13, 7));
        DrawBadge(p, kGreen, QStringLiteral("+"));
      };
    default:
      return nullptr;
  }
}

// Toolbar glyphs, by command.
Draw ToolDrawing(unsigned id) {
  switch (id) {
    case res::kCmdConfigureTool:
      return IconDrawing(res::kIconDriver);
    case res::kCmdSaveToFileTool:
      return [](QPainter& p) {
        p.setPen(QPen(kOutline, 0.8));
        p.setBrush(kBlue);
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 1.5, 8, 5));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(4, 9, 8, 5.5));
      };
    case res::kCmdCopyToClipboardTool:
      return [](QPainter& p) {
        p.setPen(QPen(kOutline, 0.8));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 1.5, 8, 10));
        p.drawRect(QRectF(6.5, 4.5, 8, 10));
      };
    case res::kCmdSendByEmailTool:
      return [](QPainter& p) {
        p.setPen(QPen(kOutline, 0.8));
        p.setBrush(QColor(250, 245, 220));
        p.drawRect(QRectF(1.5, 3.5, 13, 9));
        p.drawLine(QPointF(1.5, 3.5), QPointF(8, 9));
        p.drawLine(QPointF(14.5, 3.5), QPointF(8, 9));
      };
    case res::kCmdRaidWizardTool:
      return [](QPainter& p) {
        p.setPen(QPen(QColor(90, 60, 30), 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(2, 14), QPointF(10, 6));
        p.setPen(Qt::NoPen);
        p.setBrush(kYellow);
        p.drawEllipse(QPointF(11.5, 4.5), 3, 3);
      };
    case res::kCmdHelpTool:
    case res::kCmdAboutTool:
      return [id](QPainter& p) {
        p.setPen(QPen(kOutline, 0.8));
        p.setBrush(id == res::kCmdHelpTool ? kYellow : kBlue);
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        QFont font = p.font();
        font.setPixelSize(10);
        font.setBold(true);
        p.setFont(font);
        p.setPen(id == res::kCmdHelpTool ? Qt::black : Qt::white);
        p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter,
                   id == res::kCmdHelpTool ? QStringLiteral("?") : QStringLiteral("i"));
      };
    default:
      return nullptr;
  }
}

QPixmap CursorPixmap(unsigned id) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  auto arrow = [&p] {
    QPainterPath path;
    path.moveTo(1, 1);
    path.lineTo(1, 17);
    path.lineTo(5, 13);
    path.lineTo(8, 19);
    path.lineTo(10, 18);
    path.lineTo(7, 12);
    path.lineTo(12, 12);
    path.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(path);
  };
  switch (id) {
    case res::kCursorDrop:
      arrow();
      p.setPen(QPen(Qt::black, 1));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(13.5, 17.5, 10, 10));
      p.setPen(QPen(Qt::black, 1.5));
      p.drawLine(QPointF(18.5, 19.5), QPointF(18.5, 25.5));
      p.drawLine(QPointF(15.5, 22.5), QPointF(21.5, 22.5));
      break;
    case res::kCursorNoDrop:
      p.setPen(QPen(Qt::black, 4));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(4, 4, 20, 20));
      p.drawLine(QPointF(7, 7), QPointF(21, 21));
      p.setPen(QPen(kRed, 2));
      p.drawEllipse(QRectF(4, 4, 20, 20));
      p.drawLine(QPointF(7, 7), QPointF(21, 21));
      break;
    case res::kCursorLink: {
      // A pointing hand: finger up, the palm below.
      p.setPen(QPen(Qt::black, 1));
      p.setBrush(Qt::white);
      p.drawRoundedRect(QRectF(7.5, 0.5, 4, 13), 2, 2);
      p.drawRoundedRect(QRectF(4.5, 10.5, 15, 11), 3, 3);
      p.drawLine(QPointF(11.5, 10.5), QPointF(11.5, 14.5));
      p.drawLine(QPointF(15.5, 10.5), QPointF(15.5, 14.5));
      break;
    }
    default:
      break;
  }
  return pixmap;
}

}  // namespace

QIcon LoadIcon(unsigned id) {
  const Draw draw = IconDrawing(id);
  return draw ? MakeIcon(draw) : QIcon();
}

QCursor LoadCursor(unsigned id) {
  switch (id) {
    case res::kCursorDrop:
      return QCursor(CursorPixmap(id), 1, 1);
    case res::kCursorNoDrop:
      return QCursor(CursorPixmap(id), 14, 14);
    case res::kCursorLink:
      return QCursor(CursorPixmap(id), 9, 1);
    default:
      return QCursor(Qt::ArrowCursor);
  }
}

QPixmap LoadBitmap(unsigned id) {
  if (id == res::kBitmapWatermark) {
    QPixmap pixmap(164, 314);
    QPainter p(&pixmap);
    QLinearGradient gradient(0, 0, 0, 314);
    gradient.setColorAt(0, QColor(20, 50, 120));
    gradient.setColorAt(1, QColor(90, 150, 230));
    p.fillRect(pixmap.rect(), gradient);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(18, 90);
    p.scale(8, 8);
    IconDrawing(res::kIconSet)(p);
    return pixmap;
  }
  // The pictures at the left edge of the node pages: the node's icon, large,
  // on a tall panel.
  unsigned pageIcon = 0;
  switch (id) {
    case res::kBitmapAdapter:
      pageIcon = res::kIconAdapter;
      break;
    case res::kBitmapComputer:
      pageIcon = res::kIconComputer;
      break;
    case res::kBitmapChannel:
      pageIcon = res::kIconChannel;
      break;
    case res::kBitmapDevice:
      pageIcon = res::kIconDiskFree;
      break;
    case res::kBitmapSet:
      pageIcon = res::kIconSet;
      break;
    default:
      break;
  }
  if (pageIcon != 0) {
    QPixmap pixmap(kPageBitmapWidth, kPageBitmapHeight);
    QPainter p(&pixmap);
    QLinearGradient gradient(0, 0, 0, kPageBitmapHeight);
    gradient.setColorAt(0, QColor(20, 50, 120));
    gradient.setColorAt(1, QColor(90, 150, 230));
    p.fillRect(pixmap.rect(), gradient);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(8, 16);
    p.scale(3, 3);
    IconDrawing(pageIcon)(p);
    return pixmap;
  }
  if (id == res::kBitmapHeader) {
    QPixmap pixmap(49, 49);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(4.5, 4.5);
    p.scale(2.5, 2.5);
    IconDrawing(res::kIconSet)(p);
    return pixmap;
  }
  return QPixmap();
}

QPixmap LoadBitmap(const QString& name) {
  if (name != QStringLiteral("ImageOk")) return QPixmap();
  QPixmap pixmap(75, 23);
  pixmap.fill(QColor(192, 192, 192));
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(QColor(0, 0, 160), 1));
  p.setBrush(QColor(225, 230, 245));
  p.drawRoundedRect(QRectF(0.5, 0.5, 74, 22), 4, 4);
  QFont font = p.font();
  font.setPixelSize(12);
  font.setBold(true);
  p.setFont(font);
  p.setPen(QColor(0, 0, 255));
  p.drawText(QRectF(0, 0, 75, 23), Qt::AlignCenter, QStringLiteral("OK"));
  return pixmap;
}

void FillMenu(QMenu* menu, const std::vector<res::MenuItem>& items, CommandTarget* target) {
  if (menu == nullptr) return;
  for (const res::MenuItem& item : items) {
    if (item.IsSeparator()) {
      menu->addSeparator();
    } else if (item.IsPopup()) {
      QMenu* sub = menu->addMenu(ToQString(item.text));
      FillMenu(sub, item.items, target);
    } else {
      menu->addAction(MakeAction(menu, item.id, ToQString(item.text), target));
    }
  }
}

void FillMenuBar(QMenuBar* bar, unsigned menuId, CommandTarget* target) {
  if (bar == nullptr) return;
  for (const res::MenuItem& item : res::LoadMenu(menuId)) {
    if (item.IsPopup()) {
      QMenu* menu = bar->addMenu(ToQString(item.text));
      FillMenu(menu, item.items, target);
    } else if (!item.IsSeparator()) {
      bar->addAction(MakeAction(bar, item.id, ToQString(item.text), target));
    }
  }
}

QMenu* LoadPopupMenu(unsigned menuId, int index, QWidget* parent, CommandTarget* target) {
  const std::vector<res::MenuItem>& items = res::LoadMenu(menuId);
  int seen = 0;
  for (const res::MenuItem& item : items) {
    if (!item.IsPopup()) continue;
    if (seen++ != index) continue;
    auto* menu = new QMenu(ToQString(item.text), parent);
    FillMenu(menu, item.items, target);
    return menu;
  }
  return nullptr;
}

void FillToolBar(QToolBar* bar, unsigned toolbarId, CommandTarget* target) {
  if (bar == nullptr) return;
  bar->setIconSize(QSize(16, 16));
  for (unsigned id : res::LoadToolbar(toolbarId)) {
    if (id == 0) {
      bar->addSeparator();
      continue;
    }
    const QString tip = ToQString(res::LoadString(id));
    QAction* action = MakeAction(bar, id, tip, target);
    action->setToolTip(tip);
    if (const Draw draw = ToolDrawing(id)) action->setIcon(MakeIcon(draw));
    bar->addAction(action);
  }
}

}  // namespace kestrune::platform_qt
