#include "app/forms/about_dialog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "app/forms/icons.h"
#include "app/forms/strings.h"

#ifndef ORVELLE_SOURCE_README
#define ORVELLE_SOURCE_README ""
#endif

QString ReadmeUrl() {
  const QString installed =
      QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/doc/orvelle/README.md"));
  if (QFileInfo::exists(installed)) return QUrl::fromLocalFile(QFileInfo(installed).canonicalFilePath()).toString();
  const QString source = QStringLiteral(ORVELLE_SOURCE_README);
  if (!source.isEmpty() && QFileInfo::exists(source)) return QUrl::fromLocalFile(source).toString();
  return QUrl::fromLocalFile(QStringLiteral("README.md")).toString();
}

AboutDialog::AboutDialog(QWidget* owner, uint32_t generatedCount) : QDialog(owner) {
  setWindowTitle(QStringLiteral("About"));
  setObjectName(QStringLiteral("AboutDialog"));
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(14, 14, 14, 12);
  grid->setHorizontalSpacing(12);

  auto* icon = new QLabel(this);
  icon->setPixmap(QPixmap::fromImage(ProgramIconImage(48)));
  icon->setAlignment(Qt::AlignTop);
  grid->addWidget(icon, 0, 0, 3, 1);

  auto* text = new QLabel(QString::fromUtf8(kVersionLine) + QStringLiteral("\nSeamless random textures"), this);
  text->setAlignment(Qt::AlignCenter);
  grid->addWidget(text, 0, 1, 1, 2);

  const QString url = ReadmeUrl();
  LinkLabel = new QLabel(this);
  LinkLabel->setObjectName(QStringLiteral("AboutLink"));
  LinkLabel->setText(
      QStringLiteral("<a href=\"%1\" style=\"color:#0000ff\">Orvelle README</a>").arg(url.toHtmlEscaped()));
  LinkLabel->setToolTip(url);
  LinkLabel->setAlignment(Qt::AlignCenter);
  LinkLabel->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  LinkLabel->setCursor(Qt::PointingHandCursor);
  connect(LinkLabel, &QLabel::linkActivated, this, [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
  grid->addWidget(LinkLabel, 1, 1, 1, 2);

  auto* countCaption = new QLabel(QStringLiteral("Generated textures:"), this);
  countCaption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  grid->addWidget(countCaption, 2, 1);
  CountLabel = new QLabel(QString::number(generatedCount), this);
  CountLabel->setObjectName(QStringLiteral("AboutCount"));
  grid->addWidget(CountLabel, 2, 2);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  grid->addWidget(ok, 3, 0, 1, 3, Qt::AlignHCenter);
  adjustSize();

  // Centred over the window it was asked from.
  if (owner) {
    const QRect main = owner->window()->frameGeometry();
    move(main.left() + (main.width() - width()) / 2, main.top() + (main.height() - height()) / 2);
  }
}
