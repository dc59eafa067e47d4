// workbay: the host application.

#include "host/qt/WorkbayMain.h"

int main(int argc, char** argv) {
    return quillpad::WorkbayMain(argc, argv);
}
