// The window's Print and Printer Setup commands.
//
// Both work on the QPrinter that the window keeps for the session, so a printer, paper or
// orientation chosen in Printer Setup holds for every later Print. Every question they ask (the
// print options, the print dialog, the offer of a PDF file where no printer is installed, its
// file name) goes through the window's TUserDialogs.
#pragma once

class QPrinter;
class QWidget;

namespace quorvane {
class TDibGraphic;
}

namespace brindlex {

class TUserDialogs;

// The job title and the caption that Print writes at (10, 10) device units over the image.
inline constexpr const char* kPrintJobTitle = "Quorvane Demo";
inline constexpr const char* kPrintCaption = "Quorvane Image Library";

// Prints Image: runs the print options dialog (anything but OK ends silently), reads the
// placement and the width and height in inches (a text that is not a number raises
// EConvertError "'%s' is not a valid floating point value" and nothing is printed), then runs one
// job titled kPrintJobTitle with the image placed by a TDibGraphicPrinter and the caption on top.
// Without an installed printer, and when the printer is a PDF file without a name, it offers a
// PDF file first (declining or cancelling the file dialog ends silently). The job is ended, or
// aborted when a step fails, on every path; failures pass out to the caller after that.
void PrintImage(TUserDialogs& dialogs, QWidget* parent, const quorvane::TDibGraphic& image, QPrinter& printer);

// Lets the user choose the printer, paper and orientation of Printer in the platform's print
// dialog; printing into a PDF file is always one of the choices. Without an installed printer a
// message says so first. Returns true when the user accepted the dialog.
bool PrinterSetup(TUserDialogs& dialogs, QWidget* parent, QPrinter& printer);

}  // namespace brindlex
