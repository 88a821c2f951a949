#include <cstdio>

int main(int /*argc*/, char** /*argv*/) {
  std::puts("Tidewell");
  return 0;
}
