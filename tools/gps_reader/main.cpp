#include "tools/gps_reader/gps_reader.h"

int main(int argc, char** argv) { return smstest::gps_reader_main(argc, argv); }
