#pragma once

#include <QDialog>
#include <QImage>
#include <QTimer>
#include <functional>

#include "logo/logoraster.h"
#include "picture/logoconvert.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;

namespace kestrel {

// File > Import Picture: any picture turned into a logo with the converter's main choices,
// beside a preview of exactly what the device will show.
class ImportPictureDialog : public QDialog {
  Q_OBJECT

 public:
  ImportPictureDialog(const QImage& picture, const QString& path, QWidget* parent = nullptr);

  convert::ConvertOptions options() const;
  void setOptions(const convert::ConvertOptions& options);
  // The raster of the choices made now (a conversion still pending is done first).
  const LogoRaster& raster();
  QLabel* preview() const { return preview_; }

  // Save Bitmap: keeps the converted logo as a bitmap Open Bitmap accepts. The chooser is the
  // file dialog (tests replace it), given the name proposed; an empty text cancels.
  using SaveChooser = std::function<QString(QWidget* parent, const QString& proposed)>;
  void setSaveChooser(SaveChooser chooser) { saveChooser_ = std::move(chooser); }
  QPushButton* saveButton() const { return saveButton_; }
  QString proposedBitmapName() const;
  void SaveBitmap();

 private:
  void Convert();

  QImage picture_;
  QString path_;
  SaveChooser saveChooser_;
  QPushButton* saveButton_ = nullptr;
  LogoRaster raster_{};
  QTimer pending_;  // one conversion per burst of changes (a dragged slider)
  QRadioButton* fit_ = nullptr;
  QRadioButton* fill_ = nullptr;
  QRadioButton* stretch_ = nullptr;
  QSlider* thresholdSlider_ = nullptr;
  QSpinBox* threshold_ = nullptr;
  QCheckBox* dither_ = nullptr;
  QCheckBox* invert_ = nullptr;
  QLabel* preview_ = nullptr;
};

}  // namespace kestrel
