#include "TPropertiesForm.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "TImageDocument.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvPlatform.h"

namespace brindlex {

namespace {

// A measure with at most one decimal, without a trailing ".0" ("4.3", "8"), in the user's locale.
QString Decimal(double value) {
  const double rounded = std::round(value * 10) / 10;
  return QLocale().toString(rounded, 'f', rounded == std::floor(rounded) ? 0 : 1);
}

TPropertySection ImageSection(const TImageDocument& document) {
  const quorvane::TDibGraphic& image = document.Image();
  TPropertySection section{QStringLiteral("Image"), {}};
  section.Rows.push_back(
      {QStringLiteral("Size"), QStringLiteral("%1 x %2 pixels").arg(image.Width()).arg(image.Height())});
  section.Rows.push_back(
      {QStringLiteral("Pixel format"), QStringLiteral("%1 (%2 bits per pixel)")
                                           .arg(QString::fromStdString(quorvane::ImageFormatName(image.ImageFormat())))
                                           .arg(image.BitCount())});
  section.Rows.push_back(
      {QStringLiteral("Resolution"), QStringLiteral("%1 x %2 dpi").arg(image.XDpi()).arg(image.YDpi())});
  section.Rows.push_back(
      {QStringLiteral("Pages"),
       document.HasPages() ? QStringLiteral("%1 (page %2 shown)").arg(document.PageCount()).arg(document.CurrentPage())
                           : QStringLiteral("1")});
  return section;
}

TPropertySection FileSection(const std::string& fileName) {
  TPropertySection section{QStringLiteral("File"), {}};
  const QFileInfo info(QString::fromStdString(fileName));
  section.Rows.push_back({QStringLiteral("Name"), info.fileName()});
  section.Rows.push_back({QStringLiteral("Folder"), info.absolutePath()});
  section.Rows.push_back({QStringLiteral("Format"), FileFormatText(fileName)});
  std::error_code error;
  const uintmax_t bytes = std::filesystem::file_size(fileName, error);
  section.Rows.push_back({QStringLiteral("Size on disk"),
                          error ? QStringLiteral("unknown (the file cannot be read)") : FileSizeText(bytes)});
  return section;
}

TPropertySection CameraSection(const quorvane::TCameraData& camera) {
  TPropertySection section{QStringLiteral("Camera"), {}};
  const auto add = [&section](const char* label, const QString& value) {
    if (!value.isEmpty()) section.Rows.push_back({QString::fromLatin1(label), value});
  };
  add("Make and model", CameraText(camera));
  add("Date taken", DateTakenText(camera.DateTaken));
  add("Exposure", ExposureText(camera.ExposureTime));
  add("Aperture", ApertureText(camera.FNumber));
  add("Focal length", FocalLengthText(camera.FocalLength));
  return section;
}

}  // namespace

QString ExposureText(double seconds) {
  if (!(seconds > 0) || !std::isfinite(seconds)) return {};
  // Cameras give short exposures as fractions of a second, and people read them so.
  if (seconds <= 0.25) return QStringLiteral("1/%1 s").arg(std::lround(1 / seconds));
  return Decimal(seconds) + QStringLiteral(" s");
}

QString ApertureText(double fNumber) {
  if (!(fNumber > 0) || !std::isfinite(fNumber)) return {};
  return QStringLiteral("f/") + Decimal(fNumber);
}

QString FocalLengthText(double millimetres) {
  if (!(millimetres > 0) || !std::isfinite(millimetres)) return {};
  return Decimal(millimetres) + QStringLiteral(" mm");
}

QString DateTakenText(const std::string& exifDate) {
  const QString text = QString::fromStdString(exifDate);
  const QDateTime date = QDateTime::fromString(text, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
  return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : text;
}

QString CameraText(const quorvane::TCameraData& camera) {
  const QString make = QString::fromStdString(camera.Make), model = QString::fromStdString(camera.Model);
  if (model.startsWith(make, Qt::CaseInsensitive)) return model.isEmpty() ? make : model;
  return (make + QLatin1Char(' ') + model).trimmed();
}

QString FileSizeText(uint64_t bytes) {
  const QLocale locale;
  const auto count = static_cast<qint64>(bytes);
  const QString exact = locale.toString(count) + (bytes == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
  if (bytes < 1000) return exact;
  return locale.formattedDataSize(count, 1, QLocale::DataSizeSIFormat) + QStringLiteral(" (") + exact +
         QLatin1Char(')');
}

QString FileFormatText(const std::string& fileName) {
  std::string extension = quorvane::ExtractFileExt(fileName);
  if (!extension.empty()) extension.erase(0, 1);
  const QString upper = QString::fromStdString(extension).toUpper();
  for (const quorvane::TGraphicFormatEntry& entry : quorvane::GraphicFormatList())
    if (QString::fromStdString(entry.Extension) == upper) return QString::fromStdString(entry.Description);
  for (const quorvane::TPlatformPictureFormat& format : quorvane::PictureLoader().Formats())
    if (QString::fromStdString(format.Extension).toUpper() == upper) return QString::fromStdString(format.Description);
  return upper.isEmpty() ? QStringLiteral("unknown") : upper + QStringLiteral(" file");
}

std::vector<TPropertySection> DocumentProperties(const TImageDocument& document) {
  std::vector<TPropertySection> sections{ImageSection(document)};
  if (!document.FileName().empty()) {
    sections.push_back(FileSection(document.FileName()));
    const quorvane::TImageMetadata& metadata = document.Metadata();
    if (metadata.HasExif && !metadata.Camera.Empty()) sections.push_back(CameraSection(metadata.Camera));
  }
  return sections;
}

TPropertiesForm::TPropertiesForm(QWidget* parent, const std::vector<TPropertySection>& sections) : QDialog(parent) {
  setObjectName(QStringLiteral("PropertiesForm"));
  setWindowTitle(QStringLiteral("Properties"));
  auto* layout = new QVBoxLayout(this);
  for (const TPropertySection& section : sections) {
    auto* box = new QGroupBox(section.Title, this);
    auto* form = new QFormLayout(box);
    for (const TPropertyRow& row : section.Rows) {
      auto* value = new QLabel(row.Value, box);
      value->setTextInteractionFlags(Qt::TextSelectableByMouse);
      form->addRow(row.Label + QLatin1Char(':'), value);
      FShown.push_back({section.Title, row.Label, value});
    }
    layout->addWidget(box);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  setMinimumWidth(380);
}

QString TPropertiesForm::Value(const QString& section, const QString& label) const {
  for (const TShown& shown : FShown)
    if (shown.Section == section && shown.Label == label) return shown.Value->text();
  return {};
}

}  // namespace brindlex
