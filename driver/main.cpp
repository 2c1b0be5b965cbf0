#include "driver/sms_run.h"

int main(int argc, char** argv) { return smstest::run_sms_test(argc, argv); }
