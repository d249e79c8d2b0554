#include "TPropertiesForm.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include "TParameterForm.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvPlatform.h"

namespace brindlex {

namespace {

QString FormatOf(const QString& fileName) {
  const QString extension = QFileInfo(fileName).suffix();
  if (extension.isEmpty()) return QStringLiteral("unknown (no extension)");
  const std::string upper = extension.toUpper().toStdString();
  for (const auto& entry : quorvane::GraphicFormatList())
    if (entry.Extension == upper) return QString::fromStdString(entry.Description);
  const std::string lower = extension.toLower().toStdString();
  for (const auto& format : quorvane::PictureLoader().Formats())
    if (format.Extension == lower) return QString::fromStdString(format.Description);
  return extension.toUpper();
}

QString DiskSize(qint64 bytes) {
  QLocale locale;
  const QString exact = locale.toString(bytes) + (bytes == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
  if (bytes < 1024) return exact;
  return locale.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat) + QStringLiteral(" (") + exact +
         QLatin1Char(')');
}

}  // namespace

std::vector<TPropertyRow> DocumentProperties(const quorvane::TDibGraphic& image, const QString& fileName) {
  const QString imageGroup = QStringLiteral("Image");
  std::vector<TPropertyRow> rows;
  if (image.Empty()) {
    rows.push_back({imageGroup, QStringLiteral("Size"), QStringLiteral("no picture")});
  } else {
    rows.push_back(
        {imageGroup, QStringLiteral("Size"), QStringLiteral("%1 x %2 pixels").arg(image.Width()).arg(image.Height())});
    rows.push_back({imageGroup, QStringLiteral("Pixel format"),
                    QStringLiteral("%1 (%2 bits per pixel)")
                        .arg(QString::fromStdString(quorvane::ImageFormatName(image.ImageFormat())))
                        .arg(image.BitCount())});
    rows.push_back({imageGroup, QStringLiteral("Resolution"),
                    image.XDpi() == image.YDpi() ? QStringLiteral("%1 dpi").arg(image.XDpi())
                                                 : QStringLiteral("%1 x %2 dpi").arg(image.XDpi()).arg(image.YDpi())});
    rows.push_back({imageGroup, QStringLiteral("Pages"), QString::number(std::max(1, image.FrameCount()))});
  }
  const QString fileGroup = QStringLiteral("File");
  if (fileName.isEmpty()) {
    rows.push_back({fileGroup, QStringLiteral("Name"), QStringLiteral("none (not saved to a file)")});
    return rows;
  }
  const QFileInfo file(fileName);
  rows.push_back({fileGroup, QStringLiteral("Name"), file.fileName()});
  rows.push_back({fileGroup, QStringLiteral("Folder"), file.absolutePath()});
  rows.push_back({fileGroup, QStringLiteral("Format"), FormatOf(fileName)});
  rows.push_back({fileGroup, QStringLiteral("Size on disk"),
                  file.exists() ? DiskSize(file.size()) : QStringLiteral("the file is gone")});
  return rows;
}

TPropertiesForm::TPropertiesForm(const std::vector<TPropertyRow>& rows, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("PropertiesForm"));
  setWindowTitle(QStringLiteral("Properties"));
  auto* layout = new QVBoxLayout(this);
  QFormLayout* form = nullptr;
  QString group;
  for (const TPropertyRow& row : rows) {
    if (form == nullptr || row.Group != group) {
      group = row.Group;
      auto* box = new QGroupBox(group, this);
      form = new QFormLayout(box);
      layout->addWidget(box);
    }
    auto* value = new QLabel(row.Value, this);
    value->setObjectName(row.Name);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(row.Name + QLatin1Char(':'), value);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  QFont titleFont = font();
  titleFont.setBold(true);
  setMinimumWidth(QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + kTitleAllowance);
}

}  // namespace brindlex
