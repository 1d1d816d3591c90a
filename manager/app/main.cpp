// queuebay: shows and steers the download engine's queue.
#include "manager/app/queuebay_app.h"

int main(int argc, char** argv) { return queuebay::QueuebayMain(argc, argv); }
