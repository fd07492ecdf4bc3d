/* Reference for reading: read an XML file whole and parse it with expat and one element
 * handler. With a second argument, also write the bytes read to that new file and fsync it, as
 * a rewrite of the file would. */
#include <expat.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

static void XMLCALL countElement(void* count, const XML_Char* name, const XML_Char** attributes) {
  (void)name;
  (void)attributes;
  ++*(long*)count;
}

static char* readWhole(const char* path, size_t* size) {
  int fd = open(path, O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return NULL;
  char* bytes = malloc((size_t)st.st_size + 1);
  size_t got = 0;
  ssize_t n;
  while (bytes != NULL && (n = read(fd, bytes + got, (size_t)st.st_size - got)) > 0)
    got += (size_t)n;
  close(fd);
  *size = got;
  return bytes;
}

static int writeWhole(const char* path, const char* bytes, size_t size) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return 1;
  for (size_t done = 0; done < size;) {
    ssize_t n = write(fd, bytes + done, size - done);
    if (n <= 0) return 1;
    done += (size_t)n;
  }
  return fsync(fd) != 0 || close(fd) != 0;
}

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    fprintf(stderr, "usage: %s FILE [COPY]\n", argv[0]);
    return 2;
  }
  size_t size = 0;
  char* bytes = readWhole(argv[1], &size);
  if (bytes == NULL) return 1;
  XML_Parser parser = XML_ParserCreate(NULL);
  long elements = 0;
  XML_SetUserData(parser, &elements);
  XML_SetStartElementHandler(parser, countElement);
  if (XML_Parse(parser, bytes, (int)size, 1) != XML_STATUS_OK) return 1;
  XML_ParserFree(parser);
  int status = argc == 3 ? writeWhole(argv[2], bytes, size) : 0;
  free(bytes);
  return status;
}
