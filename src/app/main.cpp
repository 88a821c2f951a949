#include "app/entry.h"

int main(int argc, char** argv) {
  return tidewell::runTidewell(argc, argv);
}
