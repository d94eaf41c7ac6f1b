/* The peer side of bench/xml_walk: parses one XML file with expat, namespace
   processing on, with handlers that only count, and prints the same
   elements=N attributes=N chars=N line (chars: UTF-8 bytes here). */
#include <expat.h>
#include <stdio.h>
#include <stdlib.h>

static long long elements, attributes, chars;

static void XMLCALL on_start(void* user, const XML_Char* name, const XML_Char** atts) {
  (void)user;
  (void)name;
  ++elements;
  for (; *atts; atts += 2) ++attributes;
}

static void XMLCALL on_end(void* user, const XML_Char* name) {
  (void)user;
  (void)name;
}

static void XMLCALL on_chars(void* user, const XML_Char* s, int len) {
  (void)user;
  (void)s;
  chars += len;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: xml_walk_expat FILE\n");
    return 2;
  }
  FILE* f = fopen(argv[1], "rb");
  if (!f) {
    perror(argv[1]);
    return 1;
  }
  XML_Parser p = XML_ParserCreateNS(NULL, '\x01');
  XML_SetElementHandler(p, on_start, on_end);
  XML_SetCharacterDataHandler(p, on_chars);
  int done = 0;
  while (!done) {
    void* buf = XML_GetBuffer(p, 1 << 16);
    size_t n = fread(buf, 1, 1 << 16, f);
    done = n < (1 << 16);
    if (XML_ParseBuffer(p, (int)n, done) == XML_STATUS_ERROR) {
      fprintf(stderr, "xml_walk_expat: %s at line %lu\n", XML_ErrorString(XML_GetErrorCode(p)),
              (unsigned long)XML_GetCurrentLineNumber(p));
      return 1;
    }
  }
  fclose(f);
  XML_ParserFree(p);
  printf("elements=%lld attributes=%lld chars=%lld\n", elements, attributes, chars);
  return 0;
}
