#include "diagnose/options.h"

namespace diagnose {

const char kUsage[] = "Aufruf: VidudUDE-Diagnose.exe [--report DATEI] [--install-check] [--help]\n"
                      "\n"
                      "Ohne Option prüft die Diagnose, während BIM Vision und Quabo laufen, die Dateien\n"
                      "des Plug-ins, jedes laufende BIM Vision mit dem geladenen Plug-in, jedes Quabo\n"
                      "(auch unter anderem Programmnamen), die Integritätsstufen und die ANSI-Codepage,\n"
                      "und zeigt am Ende die letzten 200 Zeilen des Protokolls des Plug-ins. Sie ändert\n"
                      "nichts und braucht keine Administratorrechte.\n"
                      "\n"
                      "  --report DATEI   schreibt den ganzen Bericht auch in DATEI (UTF-8), zum Senden\n"
                      "                   an den Support\n"
                      "  --install-check  prüft nur die Installation: Dateien, Versionen, die Einträge\n"
                      "                   des Pakets in der Registrierung und die Ereignisquelle\n"
                      "                   VidudUDE; BIM Vision und Quabo müssen nicht laufen; für die\n"
                      "                   Erkennungs- oder Compliance-Regel einer Softwareverteilung\n"
                      "  --help           zeigt diese Hilfe\n"
                      "\n"
                      "Exit-Status: 0 kein Problem gefunden (mit --install-check: die Installation ist\n"
                      "vollständig), 1 ein Problem gefunden, 2 die Diagnose selbst ist gescheitert oder\n"
                      "der Aufruf ist falsch.\n";

Options ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  for (std::size_t i = 0; i < arguments.size() && options.error.empty(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h" || argument == "/?") {
      options.help = true;
    } else if (argument == "--install-check") {
      options.installCheck = true;
    } else if (argument == "--report") {
      if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
        options.error = "--report braucht den Namen einer Datei";
      } else {
        options.reportFile = arguments[++i];
      }
    } else {
      options.error = "unbekannte Option: " + argument;
    }
  }
  return options;
}

}  // namespace diagnose
