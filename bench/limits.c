// The limits the benchmark measures Vemilo against: what reading the bytes costs at the least.
//   limits scan FILE OFFSET   read from OFFSET in 2 MiB pieces, finding the first non-zero byte
//   limits compare A B        read both in 2 MiB pieces, memcmp
//   limits folders DIR1 DIR2  compare every pair of sorted file names, whole files
//   limits tree DIR1 DIR2     walk DIR1's tree; open, read and compare each file with its namesake
#define _XOPEN_SOURCE 700
#include <dirent.h>
#include <ftw.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#define PIECE (2u << 20)
static unsigned char a[PIECE], b[PIECE], zero[PIECE];
static long scan(const char* path, long start) {
    int fd = open(path, O_RDONLY); long at = start; ssize_t got;
    if (fd < 0) return -2;
    lseek(fd, start, SEEK_SET);
    while ((got = read(fd, a, PIECE)) > 0) {
        if (memcmp(a, zero, (size_t)got) != 0) { for (ssize_t i = 0; i < got; ++i) if (a[i]) { close(fd); return at + i; } }
        at += got;
    }
    close(fd); return -1;
}
static int compare(const char* p, const char* q) {
    int f = open(p, O_RDONLY), g = open(q, O_RDONLY); ssize_t x, y; int same = 1;
    if (f < 0 || g < 0) return 2;
    do { x = read(f, a, PIECE); y = read(g, b, PIECE); if (x != y || memcmp(a, b, (size_t)(x > 0 ? x : 0))) { same = 0; break; } } while (x > 0);
    close(f); close(g); return same ? 0 : 1;
}
static int byName(const struct dirent** x, const struct dirent** y) { return strcmp((*x)->d_name, (*y)->d_name); }
static int wav(const struct dirent* e) { size_t n = strlen(e->d_name); return n > 4 && strcmp(e->d_name + n - 4, ".wav") == 0; }
static const char* treeOne; static const char* treeTwo; static int treeStatus;
static int visit(const char* path, const struct stat* status, int kind, struct FTW* at) {
    (void)status; (void)at;
    if (kind != FTW_F) return 0;
    char other[8192];
    snprintf(other, sizeof other, "%s%s", treeTwo, path + strlen(treeOne));
    if (compare(path, other)) treeStatus = 1;
    return 0;
}
int main(int argc, char** argv) {
    if (argc == 4 && !strcmp(argv[1], "tree")) {
        treeOne = argv[2]; treeTwo = argv[3];
        if (nftw(argv[2], visit, 64, FTW_PHYS) != 0) return 2;
        return treeStatus;
    }
    if (argc == 4 && !strcmp(argv[1], "scan")) { printf("%ld\n", scan(argv[2], atol(argv[3]))); return 0; }
    if (argc == 4 && !strcmp(argv[1], "compare")) return compare(argv[2], argv[3]);
    if (argc == 4 && !strcmp(argv[1], "folders")) {
        struct dirent **one, **two; int n1 = scandir(argv[2], &one, wav, byName), n2 = scandir(argv[3], &two, wav, byName), status = 0;
        char p[4096], q[4096];
        for (int i = 0; i < n1 && i < n2; ++i) {
            snprintf(p, sizeof p, "%s/%s", argv[2], one[i]->d_name); snprintf(q, sizeof q, "%s/%s", argv[3], two[i]->d_name);
            if (compare(p, q)) status = 1;
        }
        return status;
    }
    fprintf(stderr, "usage: limits scan FILE OFFSET | compare A B | folders DIR1 DIR2 | tree DIR1 DIR2\n"); return 2;
}
