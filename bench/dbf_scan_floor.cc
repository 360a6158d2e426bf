// The floor of the master-table benchmark: a plain C scan of a whole
// dBase table with shapelib, reading the NAME field of every record and
// comparing it with the name sought, as a program without an index would
// look a project up when the project is the last record or missing.
//
//   dbf_scan_floor TABLE NAME
//
// Prints the record count and the record number of the first match (-1).
#include <shapefil.h>
#include <strings.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dbf_scan_floor TABLE NAME\n");
    return 2;
  }
  DBFHandle table = DBFOpen(argv[1], "rb");
  if (!table) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  const int field = DBFGetFieldIndex(table, "NAME");
  const int count = DBFGetRecordCount(table);
  int found = -1;
  for (int i = 0; i < count; ++i) {
    const char* name = DBFReadStringAttribute(table, i, field);
    if (found < 0 && name && strcasecmp(name, argv[2]) == 0) found = i;
  }
  DBFClose(table);
  std::printf("%d records, first match %d\n", count, found);
  return 0;
}
