// fetchwick: lists the links of web pages, crawls sites and hands the files
// it finds to the download engine.
#include "crawler/app/fetchwick_app.h"

int main(int argc, char** argv) { return FetchwickMain(argc, argv); }
