#include "cli/HelpText.h"

#include "common/ExitStatus.h"

namespace lumivane {

std::string KeypadOptionsHelp() {
  return "--port, by link:\n"
         "  usb    not used: the keypad is found by its USB identity.\n"
         "  rs232  a port name mapped in [Ports] of Lumivane.ini (COM3=/dev/ttyUSB0), else COM1..COM4\n"
         "         for /dev/ttyS0../dev/ttyS3, or a device path such as /dev/ttyUSB0.\n"
         "  pcat   the keyboard's event node; default: Keyboard= in [Quintrel] of Lumivane.ini, else\n"
         "         /dev/input/by-path/platform-i8042-serio-0-event-kbd.\n"
         "On pcat the keypad answers by typing into this terminal: a single Y when shift+load is\n"
         "pressed, then one letter for each hexadecimal digit it sends back (A to P on a US layout),\n"
         "each without Enter. Standard input must be that terminal, and its window keep the focus;\n"
         "when standard input ends, the download ends.\n"
         "Lumivane.ini is the window's settings file (beside the executable when portable, else\n"
         "~/.config/lumivane/); it is read, never written. The options win over it.\n";
}

std::string ExitStatusHelp() {
  return "Output, the same for every subcommand:\n"
         "  standard output  the status log of translate, download, read and compare: its status and\n"
         "                   detail lines (a source or emulator that cannot be read among them); and\n"
         "                   what a subcommand reports (listings, comparisons, check --format json)\n"
         "  standard error   problems with the command line and the files it writes (an --output or\n"
         "                   --backup that is an input, no regular file, or cannot be written), the\n"
         "                   problems check finds, FILE:LINE:COL: messages, questions, the progress line\n"
         "Exit status:\n" +
         exit_status::TableText();
}

}  // namespace lumivane
