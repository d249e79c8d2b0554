#include "print/QvPrintCommand.h"

#include <QPrinter>

#include "model/QvDiGrph.h"

namespace quorvane {

void PrintImage(QWidget*, TDibGraphic&, QPrinter&) {}

bool PrinterSetup(QWidget*, QPrinter&) { return false; }

}  // namespace quorvane
