#include "ui/qt/startup.h"

int main(int argc, char** argv) { return vantrel::ui::qt::RunProgram(argc, argv); }
