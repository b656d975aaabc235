/* A plain C program that uses libminc through its installed header only: it grids a
 * plane with MINC, flips the grid with GEOFLIP, resamples it unchanged with GEOROT, and
 * checks a failing MINC call. Exit status 0 when every check holds. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "minc/minc.h"

static int failures = 0;

#define CHECK(cond)                                                          \
    do {                                                                     \
        if (!(cond)) {                                                       \
            fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #cond); \
            ++failures;                                                      \
        }                                                                    \
    } while (0)

/* An 80-character text: the name, a NUL, blanks. */
static void name80(char *text, const char *name) {
    memset(text, ' ', 80);
    memcpy(text, name, strlen(name));
    text[strlen(name)] = '\0';
}

static float plane(float x, float y) { return 3.0f * x - 2.0f * y + 50.0f; }

/* Reads a grid file: header words and the values (at most cap). */
static int read_grid(const char *name, int *ne, int *nv, int *kx, float *values, int cap) {
    unsigned char header[512];
    FILE *f = fopen(name, "rb");
    if (f == NULL) return 0;
    if (fread(header, 1, 512, f) != 512) { fclose(f); return 0; }
    memcpy(ne, header + 8, 4);
    memcpy(nv, header + 12, 4);
    memcpy(kx, header + 16, 4);
    if (*ne * *nv > cap) { fclose(f); return 0; }
    size_t n = fread(values, 4, (size_t)(*ne * *nv), f);
    fclose(f);
    return n == (size_t)(*ne * *nv);
}

/* 1 when the two files hold the same bytes. */
static int same_bytes(const char *a, const char *b) {
    FILE *fa = fopen(a, "rb"), *fb = fopen(b, "rb");
    int same = fa != NULL && fb != NULL;
    while (same) {
        const int ca = fgetc(fa), cb = fgetc(fb);
        if (ca != cb) same = 0;
        if (ca == EOF || cb == EOF) break;
    }
    if (fa != NULL) fclose(fa);
    if (fb != NULL) fclose(fb);
    return same;
}

/* A MINC_GRID_POINTS request for the points into the grid file out. */
static MINC_POINTS_REQUEST points_request(const char *out, const float *x, const float *y, const float *z,
                                          int nx, int ny, float radius, int mode, int iopt, float angle) {
    MINC_POINTS_REQUEST q = {.size = sizeof q, .outfile = out, .x = x, .y = y, .z = z, .n = 63, .dx = 1.0f, .dy = 1.0f,
                             .nx = nx, .ny = ny, .radius = radius, .dummy = -99999.0f, .mode = mode, .iopt = iopt,
                             .angle = angle};
    return q;
}

/* Progress callback: counts its calls in *data and stops at the call numbered by
 * stop_at (0: never). */
static int stop_at = 0;
static int count_calls(double share, void *data) {
    int *calls = (int *)data;
    ++*calls;
    return share > 0.0 && share <= 1.0 && *calls != stop_at;
}

int main(void) {
    /* Data: the plane at the nodes of a 9 x 7 lattice, x, y and one channel. */
    FILE *f = fopen("points.bin", "wb");
    if (f == NULL) return 2;
    for (int j = 0; j < 7; ++j)
        for (int i = 0; i < 9; ++i) {
            float rec[3] = {(float)i, (float)j, plane((float)i, (float)j)};
            fwrite(rec, 4, 3, f);
        }
    fclose(f);

    char out[80], dat[80];
    name80(out, "plane.grd");
    memset(dat, ' ', 80);
    memcpy(dat, "points.bin", 10); /* no NUL: the trailing blanks are dropped */
    float x0 = 0.0f, y0 = 0.0f, dx = 1.0f, dy = 1.0f, radius = 0.0f, dummy = -99999.0f;
    float gmin = -1.0f, gmax = -1.0f, angle = 0.0f;
    int nx = 9, ny = 7, ichan = 1, maxchan = 1, mode = 1, iopt = 1, ierr = 0;
    MINC(out, 80, &x0, &y0, &dx, &dy, &nx, &ny, &radius, dat, 80, &ichan, &dummy, &maxchan,
         &mode, &iopt, &gmin, &gmax, &angle, &ierr);
    CHECK(ierr == MINC_OK);
    CHECK(fabsf(gmin - plane(0.0f, 6.0f)) < 1e-3f); /* 50 - 12 = 38 */
    CHECK(fabsf(gmax - plane(8.0f, 0.0f)) < 1e-3f); /* 50 + 24 = 74 */
    const float gmin_first = gmin, gmax_first = gmax;

    float v[200], w[200];
    int ne = 0, nv = 0, kx = 0;
    CHECK(read_grid("plane.grd", &ne, &nv, &kx, v, 200));
    CHECK(ne == 9 && nv == 7 && kx == 1);
    for (int j = 0; j < 7; ++j)
        for (int i = 0; i < 9; ++i) CHECK(fabsf(v[j * 9 + i] - plane((float)i, (float)j)) < 1e-3f);

    /* GEOFLIP: 9 x 7 becomes 7 x 9, orientation -2; with KX 1, output vector m is input
     * element 9 - m + 1 of every input vector, from the last vector to the first. */
    char in80[80], flip80[80];
    name80(in80, "plane.grd");
    name80(flip80, "flip.grd");
    GEOFLIP(in80, 80, flip80, 80);
    CHECK(read_grid("flip.grd", &ne, &nv, &kx, w, 200));
    CHECK(ne == 7 && nv == 9 && kx == -2);
    for (int m = 1; m <= 9; ++m)
        for (int k = 1; k <= 7; ++k) CHECK(w[(m - 1) * 7 + (k - 1)] == v[(7 - k) * 9 + (9 - m)]);
    char missing[80];
    name80(missing, "missing.grd");
    CHECK(GEOFLIP_STATUS(missing, 80, flip80, 80) < 0);

    /* GEOROT with no turn, the same frame and size: the grid comes back unchanged. */
    char rot80[80];
    name80(rot80, "rot.grd");
    float sdx = 1.0f, sdy = 1.0f, sx0 = 0.0f, sy0 = 0.0f, zero = 0.0f, one = 1.0f, work[9];
    int snc = 9, snr = 7;
    GEOROT(in80, 80, rot80, 80, &sdx, &sdy, &sx0, &sy0, &snc, &snr, &dx, &dy, &x0, &y0, &nx, &ny,
           work, &zero, &zero, &zero, &zero, &zero, &one, &one, &iopt, &dummy, &gmin, &gmax);
    CHECK(read_grid("rot.grd", &ne, &nv, &kx, w, 200));
    CHECK(ne == 9 && nv == 7);
    for (int k = 0; k < 63; ++k) CHECK(fabsf(w[k] - v[k]) < 1e-3f);

    /* A failing MINC: missing data file; GMIN and GMAX stay as they were. */
    char none[80], bad[80];
    name80(none, "none.bin");
    name80(bad, "bad.grd");
    gmin = 11.0f;
    gmax = 22.0f;
    ierr = 0;
    MINC(bad, 80, &x0, &y0, &dx, &dy, &nx, &ny, &radius, none, 80, &ichan, &dummy, &maxchan,
         &mode, &iopt, &gmin, &gmax, &angle, &ierr);
    CHECK(ierr == MINC_NO_DATA);
    CHECK(gmin == 11.0f && gmax == 22.0f);
    f = fopen("bad.grd", "rb");
    CHECK(f == NULL);
    if (f != NULL) fclose(f);

    /* OUTFILE naming the data file (here as "./points.bin"): refused, the data kept. */
    char same[80];
    name80(same, "./points.bin");
    ierr = 0;
    MINC(same, 80, &x0, &y0, &dx, &dy, &nx, &ny, &radius, dat, 80, &ichan, &dummy, &maxchan,
         &mode, &iopt, &gmin, &gmax, &angle, &ierr);
    CHECK(ierr == MINC_OUTPUT_IS_INPUT);
    f = fopen("points.bin", "rb");
    CHECK(f != NULL);
    if (f != NULL) {
        float rec[3];
        long count = 0;
        int exact = 1;
        while (fread(rec, 4, 3, f) == 3) {
            const int i = (int)(count % 9), j = (int)(count / 9);
            exact = exact && rec[0] == (float)i && rec[1] == (float)j && rec[2] == plane((float)i, (float)j);
            ++count;
        }
        fclose(f);
        CHECK(count == 63 && exact);
    }

    /* MINC_POINTS: the same points from memory give plane.grd's bytes (that MINC call was
     * the process's first, so from a fresh state too), and no log is written. */
    float px[63], py[63], pz[63];
    for (int k = 0; k < 63; ++k) {
        px[k] = (float)(k % 9);
        py[k] = (float)(k / 9);
        pz[k] = plane(px[k], py[k]);
    }
    remove("minc.log");
    float pmin = 0.0f, pmax = 0.0f;
    CHECK(MINC_POINTS("points.grd", px, py, pz, 63, x0, y0, dx, dy, nx, ny, radius, dummy, mode,
                      iopt, angle, 0, &pmin, &pmax) == MINC_OK);
    CHECK(pmin == gmin_first && pmax == gmax_first);
    CHECK(same_bytes("points.grd", "plane.grd"));
    f = fopen("minc.log", "rb");
    CHECK(f == NULL);
    if (f != NULL) fclose(f);
    CHECK(MINC_POINTS("none.grd", px, py, pz, 0, x0, y0, dx, dy, nx, ny, radius, dummy, mode,
                      iopt, angle, 0, NULL, NULL) == MINC_NO_DATA);

    /* MINC_GRID_POINTS: the same grid, code and range as MINC_POINTS for each request of
     * a table, byte for byte. */
    {
        struct Case { float radius, angle; int mode, iopt, nx, ny; } cases[] = {
            {0.0f, 0.0f, 1, 1, 9, 7}, {2.0f, 0.0f, 1, 2, 9, 7}, {0.0f, 30.0f, 1, 1, 9, 7},
            {1.5f, 0.0f, 2, 1, 12, 5}, {0.0f, 0.0f, 1, 1, 0, 7}};
        for (int c = 0; c < 5; ++c) {
            float amin = 0.0f, amax = 0.0f;
            remove("a.grd");
            remove("b.grd");
            const int ca = MINC_POINTS("a.grd", px, py, pz, 63, x0, y0, dx, dy, cases[c].nx, cases[c].ny,
                                       cases[c].radius, dummy, cases[c].mode, cases[c].iopt, cases[c].angle,
                                       0, &amin, &amax);
            MINC_POINTS_REQUEST q = points_request("b.grd", px, py, pz, cases[c].nx, cases[c].ny,
                                                   cases[c].radius, cases[c].mode, cases[c].iopt,
                                                   cases[c].angle);
            const int cb = MINC_GRID_POINTS(&q);
            CHECK(ca == cb);
            CHECK(ca != MINC_OK || (same_bytes("a.grd", "b.grd") && q.gmin == amin && q.gmax == amax));
            if (c == 4) CHECK(cb == MINC_BAD_SIZE);
        }
    }
    /* Its progress callback: a 0 return stops the call; the calls below run on to the end. */
    {
        MINC_POINTS_REQUEST q = points_request("p.grd", px, py, pz, nx, ny, 0.0f, 1, 1, 0.0f);
        int calls = 0;
        q.progress = count_calls;
        q.progress_data = &calls;
        stop_at = 1;
        CHECK(MINC_GRID_POINTS(&q) == MINC_CANCELLED);
        CHECK(calls == 1);
        f = fopen("p.grd", "rb");
        CHECK(f == NULL);
        if (f != NULL) fclose(f);
        stop_at = 0;
        /* The log handed back, cut to the room given; a request of the first version's
           size asks for none and grids the same. */
        {
            char log[64];
            q.log = log;
            q.log_size = sizeof log;
            CHECK(MINC_GRID_POINTS(&q) == MINC_OK);
            CHECK(q.log_length > 200 && memcmp(log, " x origin ", 10) == 0);
            q.log = NULL;
            q.log_size = 0;
            q.log_length = 0;
            q.size = MINC_POINTS_REQUEST_SIZE_1;
            remove("p.grd");
            CHECK(MINC_GRID_POINTS(&q) == MINC_OK && q.log_length == 0);
            CHECK(same_bytes("p.grd", "points.grd"));
            q.size = sizeof q;
        }
        /* A size the library does not know, and a larger struct with a clear tail. */
        q.size = sizeof q - 1;
        CHECK(MINC_GRID_POINTS(&q) == MINC_BAD_REQUEST);
        CHECK(MINC_GRID_POINTS(NULL) == MINC_BAD_REQUEST);
        {
            unsigned char big[sizeof(MINC_POINTS_REQUEST) + 16];
            memset(big, 0, sizeof big);
            q.size = sizeof big;
            memcpy(big, &q, sizeof q);
            CHECK(MINC_GRID_POINTS((MINC_POINTS_REQUEST *)(void *)big) == MINC_OK);
            big[sizeof big - 1] = 1;
            CHECK(MINC_GRID_POINTS((MINC_POINTS_REQUEST *)(void *)big) == MINC_BAD_REQUEST);
        }
    }
    if (failures == 0) printf("c api: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
