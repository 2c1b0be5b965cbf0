#include "tools/campaign/campaign.h"

int main(int argc, char** argv) { return smstest::campaign_main(argc, argv); }
