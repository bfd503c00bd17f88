/* The least C that does what jamcrc does, as a yardstick for start-up cost:
   open, measure, read whole, checksum one bit at a time, print. */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    if (argc != 2) {
        puts("specify inputfile");
        return -1;
    }
    FILE *f = fopen(argv[1], "rb");
    if (!f) {
        printf("error opening %s\n", argv[1]);
        return -1;
    }
    fseek(f, 0, SEEK_END);
    long n = ftell(f);
    fseek(f, 0, SEEK_SET);
    unsigned char *b = malloc(n ? (size_t)n : 1);
    size_t got = fread(b, 1, (size_t)n, f);
    fclose(f);
    if ((long)got != n) {
        free(b);
        puts("read error");
        return -1;
    }
    unsigned r = 0xFFFFFFFFu;
    for (long i = 0; i < n; ++i) {
        r ^= b[i];
        for (int k = 0; k < 8; ++k) r = (r >> 1) ^ (0xEDB88320u & -(r & 1u));
    }
    free(b);
    printf("%s crc32: %x\n", argv[1], r);
    fflush(stdout);
    return 0;
}
