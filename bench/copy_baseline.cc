// The copy that adpack's design calls for and nothing more: each sample
// read whole with one read into a buffer that holds it, and written with one
// write, all into one output file. The benchmark's yardstick.
//
//   copy_baseline OUTPUT SAMPLE...
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: copy_baseline OUTPUT SAMPLE...\n");
    return 2;
  }
  int out = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (out < 0) return 1;
  for (int i = 2; i < argc; ++i) {
    struct stat info;
    if (stat(argv[i], &info) != 0) return 1;
    std::size_t size = static_cast<std::size_t>(info.st_size);
    char *buffer = static_cast<char *>(std::malloc(size + 1));
    int in = open(argv[i], O_RDONLY);
    if (!buffer || in < 0) return 1;
    if (read(in, buffer, size) != static_cast<ssize_t>(size)) return 1;
    if (write(out, buffer, size) != static_cast<ssize_t>(size)) return 1;
    close(in);
    std::free(buffer);
  }
  return close(out) == 0 ? 0 : 1;
}
