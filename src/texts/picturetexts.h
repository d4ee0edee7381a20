#pragma once

#include <QString>

#include "picture/convertoptions.h"
#include "picture/logosave.h"
#include "picture/pictureread.h"

// The picture readers' and options' failures in words: part of the catalogue, built with the
// picture library whose kinds it words.
namespace kestrel::texts {

// One line, as a message part: "cannot read "x.png": no such file".
QString PictureFailureText(const convert::PictureFailure& failure);
QString OptionProblemText(const convert::OptionProblem& problem);
// One line, as a message part: "cannot write "x.bmp": permission denied".
QString LogoSaveFailureText(const LogoSaveFailure& failure);

}  // namespace kestrel::texts
