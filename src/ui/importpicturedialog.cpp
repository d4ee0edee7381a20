#include "ui/importpicturedialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "picture/logoimage.h"
#include "picture/logosave.h"
#include "texts/picturetexts.h"
#include "texts/usertexts.h"
#include "ui/messagebox.h"

namespace kestrel {

ImportPictureDialog::ImportPictureDialog(const QImage& picture, const QString& path,
                                         QWidget* parent)
    : QDialog(parent), picture_(picture), path_(path) {
  setObjectName(QStringLiteral("ImportPictureDialog"));
  setWindowTitle(texts::ImportPictureTitle());

  auto* source =
      new QLabel(texts::PictureSource(QDir::toNativeSeparators(QFileInfo(path).fileName()),
                                      picture.width(), picture.height()),
                 this);
  source->setTextFormat(Qt::PlainText);

  preview_ = new QLabel(this);
  preview_->setObjectName(QStringLiteral("importPreview"));
  preview_->setFrameShape(QFrame::Box);
  preview_->setFixedSize(480 + 2, 120 + 2);
  preview_->setAlignment(Qt::AlignCenter);
  preview_->setToolTip(texts::ImportPreviewTip());

  auto* shape = new QGroupBox(texts::SizeFrame(), this);
  fit_ = new QRadioButton(texts::FitChoice(), shape);
  fill_ = new QRadioButton(texts::FillChoice(), shape);
  stretch_ = new QRadioButton(texts::StretchChoice(), shape);
  auto* shapeLayout = new QVBoxLayout(shape);
  for (QRadioButton* button : {fit_, fill_, stretch_}) shapeLayout->addWidget(button);

  auto* tones = new QGroupBox(texts::TonesFrame(), this);
  thresholdSlider_ = new QSlider(Qt::Horizontal, tones);
  thresholdSlider_->setRange(0, 255);
  threshold_ = new QSpinBox(tones);
  threshold_->setRange(0, 255);
  threshold_->setToolTip(texts::ThresholdTip());
  connect(thresholdSlider_, &QSlider::valueChanged, threshold_, &QSpinBox::setValue);
  connect(threshold_, &QSpinBox::valueChanged, thresholdSlider_, &QSlider::setValue);
  auto* thresholdRow = new QHBoxLayout;
  thresholdRow->addWidget(thresholdSlider_, 1);
  thresholdRow->addWidget(threshold_);
  dither_ = new QCheckBox(texts::DitherChoice(), tones);
  invert_ = new QCheckBox(texts::InvertChoice(), tones);
  auto* tonesLayout = new QFormLayout(tones);
  auto* thresholdLabel = new QLabel(texts::ThresholdLabel(), tones);
  thresholdLabel->setBuddy(threshold_);
  tonesLayout->addRow(thresholdLabel, thresholdRow);
  tonesLayout->addRow(dither_);
  tonesLayout->addRow(invert_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  saveButton_ = buttons->addButton(texts::SaveBitmapButton(), QDialogButtonBox::ActionRole);
  saveButton_->setObjectName(QStringLiteral("saveBitmap"));
  saveButton_->setAutoDefault(false);
  connect(saveButton_, &QPushButton::clicked, this, &ImportPictureDialog::SaveBitmap);
  saveChooser_ = [](QWidget* parent, const QString& proposed) {
    return QFileDialog::getSaveFileName(parent, texts::SaveBitmapTitle(), proposed,
                                        texts::BitmapFilter());
  };

  auto* choices = new QHBoxLayout;
  choices->addWidget(shape);
  choices->addWidget(tones, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(source);
  layout->addWidget(preview_, 0, Qt::AlignHCenter);
  layout->addLayout(choices);
  layout->addWidget(buttons);

  pending_.setSingleShot(true);
  pending_.setInterval(0);
  connect(&pending_, &QTimer::timeout, this, &ImportPictureDialog::Convert);
  setOptions(convert::ConvertOptions{});
  for (QRadioButton* button : {fit_, fill_, stretch_})
    connect(button, &QRadioButton::toggled, &pending_, qOverload<>(&QTimer::start));
  connect(threshold_, &QSpinBox::valueChanged, &pending_, qOverload<>(&QTimer::start));
  connect(dither_, &QCheckBox::toggled, &pending_, qOverload<>(&QTimer::start));
  connect(invert_, &QCheckBox::toggled, &pending_, qOverload<>(&QTimer::start));
}

convert::ConvertOptions ImportPictureDialog::options() const {
  convert::ConvertOptions o;
  o.mode = fill_->isChecked()      ? convert::ScaleMode::Fill
           : stretch_->isChecked() ? convert::ScaleMode::Stretch
                                   : convert::ScaleMode::Fit;
  o.threshold = threshold_->value();
  o.dither = dither_->isChecked();
  o.invert = invert_->isChecked();
  return o;
}

void ImportPictureDialog::setOptions(const convert::ConvertOptions& o) {
  fit_->setChecked(o.mode == convert::ScaleMode::Fit);
  fill_->setChecked(o.mode == convert::ScaleMode::Fill);
  stretch_->setChecked(o.mode == convert::ScaleMode::Stretch);
  threshold_->setValue(o.threshold);
  dither_->setChecked(o.dither);
  invert_->setChecked(o.invert);
  Convert();
}

const LogoRaster& ImportPictureDialog::raster() {
  if (pending_.isActive()) Convert();
  return raster_;
}

void ImportPictureDialog::Convert() {
  pending_.stop();
  raster_ = convert::RasterOf(convert::ConvertPicture(picture_, options()));
  preview_->setPixmap(QPixmap::fromImage(LogoPreviewImage(raster_)));
}

// Beside the picture, under its name; a picture that is itself a .bmp would be replaced, so the
// logo's name says what it is.
QString ImportPictureDialog::proposedBitmapName() const {
  const QFileInfo picture(path_);
  QString name = picture.completeBaseName() + QStringLiteral(".bmp");
  if (name.compare(picture.fileName(), Qt::CaseInsensitive) == 0)
    name = picture.completeBaseName() + QStringLiteral("-logo.bmp");
  return picture.dir().filePath(name);
}

// The dialog stays open: the logo can still be loaded, or changed and saved again.
void ImportPictureDialog::SaveBitmap() {
  const QString chosen = saveChooser_(this, proposedBitmapName());
  if (chosen.isEmpty()) return;
  const LogoSaveFailure failure = SaveLogoBitmap(raster(), chosen, path_);
  if (failure.failed())
    ShowMessage(this, texts::BitmapNotSavedMessage(texts::LogoSaveFailureText(failure)));
}

}  // namespace kestrel
