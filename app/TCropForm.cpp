#include "TCropForm.h"

namespace brindlex {

TCropForm::TCropForm(QWidget* parent) : TParameterForm(QStringLiteral("Crop"), parent) {
  setObjectName(QStringLiteral("CropForm"));
  LeftFld = AddField("LeftFld", QStringLiteral("&Left"), QStringLiteral("0"));
  TopFld = AddField("TopFld", QStringLiteral("&Top"), QStringLiteral("0"));
  RightFld = AddField("RightFld", QStringLiteral("&Right"), QStringLiteral("0"));
  BottomFld = AddField("BottomFld", QStringLiteral("&Bottom"), QStringLiteral("0"));
}

}  // namespace brindlex
