/* The message benchmark's GMime side: parses one message file from a
 * memory-mapped stream, decodes every header value and the content of every
 * leaf, and prints the same totals line as `tessel --check`:
 *   parts=N leaves=N bytes=N sample=N headers=N header_bytes=N
 * Usage: message_gmime FILE */
#include <fcntl.h>
#include <gmime/gmime.h>
#include <iconv.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

static long long parts, leaves, bytes, sample, headers, header_bytes;
static GByteArray *buffer;
static GMimeStream *sink;

static void count_headers(GMimeObject *object) {
  GMimeHeaderList *list = g_mime_object_get_header_list(object);
  int n = g_mime_header_list_get_count(list);
  for (int i = 0; i < n; i++) {
    const char *value = g_mime_header_get_value(g_mime_header_list_get_header_at(list, i));
    headers++;
    if (value) header_bytes += (long long)strlen(value);
  }
}

static void walk_message(GMimeMessage *message);

/* A message's own header list holds its root part's header lines too, so
 * the root part's are not counted again. */
static void walk_part(GMimeObject *object, gboolean root) {
  if (!root) {
    parts++;
    count_headers(object);
  }
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart *multipart = GMIME_MULTIPART(object);
    int n = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < n; i++) walk_part(g_mime_multipart_get_part(multipart, i), FALSE);
  } else if (GMIME_IS_MESSAGE_PART(object)) {
    GMimeMessage *message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
    if (message) walk_message(message);
  } else if (GMIME_IS_PART(object)) {
    leaves++;
    GMimeDataWrapper *content = g_mime_part_get_content(GMIME_PART(object));
    if (!content) return;
    g_byte_array_set_size(buffer, 0);
    g_mime_stream_reset(sink);
    g_mime_data_wrapper_write_to_stream(content, sink);
    bytes += buffer->len;
    for (guint i = 0; i < buffer->len; i += 64) sample += buffer->data[i];
  }
}

static void walk_message(GMimeMessage *message) {
  parts++;
  count_headers(GMIME_OBJECT(message));
  GMimeObject *body = g_mime_message_get_mime_part(message);
  if (body) walk_part(body, TRUE);
}

/* glibc unloads a charset's conversion module when its last converter is
 * closed, and GMime opens and closes a converter for every encoded word: on
 * a header full of words the run would time loading modules, not decoding.
 * One converter per charset the benchmark messages use stays open for the
 * whole run, as in a program that keeps its converters. */
static const char *const pinned_charsets[] = {
    "UTF-7",        "UTF-16",       "UTF-16BE",     "UTF-16LE",     "KOI8-R",      "KOI8-U",       "ISO-8859-1",
    "ISO-8859-2",   "ISO-8859-5",   "ISO-8859-7",   "ISO-8859-9",   "ISO-8859-15", "WINDOWS-1250", "WINDOWS-1251",
    "WINDOWS-1252", "WINDOWS-1253", "WINDOWS-1254", "WINDOWS-1257", "SHIFT_JIS",   "EUC-JP",       "ISO-2022-JP",
    "GB2312",       "GBK",          "GB18030",      "BIG5",         "EUC-KR",
};

static void pin_converters(void) {
  for (size_t i = 0; i < sizeof pinned_charsets / sizeof pinned_charsets[0]; i++) {
    iconv_t cd = iconv_open("UTF-8", pinned_charsets[i]);
    (void)cd; /* left open on purpose; (iconv_t)-1 when glibc lacks it */
  }
}

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: message_gmime FILE\n");
    return 2;
  }
  g_mime_init();
  pin_converters();
  int fd = open(argv[1], O_RDONLY);
  if (fd < 0) {
    perror(argv[1]);
    return 3;
  }
  GMimeStream *stream = g_mime_stream_mmap_new(fd, PROT_READ, MAP_PRIVATE);
  GMimeParser *parser = g_mime_parser_new_with_stream(stream);
  GMimeMessage *message = g_mime_parser_construct_message(parser, NULL);
  if (!message) {
    fprintf(stderr, "%s: not parsed\n", argv[1]);
    return 1;
  }
  buffer = g_byte_array_new();
  sink = g_mime_stream_mem_new_with_byte_array(buffer);
  g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(sink), FALSE);
  walk_message(message);
  printf("parts=%lld leaves=%lld bytes=%lld sample=%lld headers=%lld header_bytes=%lld\n", parts, leaves, bytes, sample,
         headers, header_bytes);
  g_object_unref(sink);
  g_byte_array_free(buffer, TRUE);
  g_object_unref(message);
  g_object_unref(parser);
  g_object_unref(stream);
  close(fd);
  g_mime_shutdown();
  return 0;
}
