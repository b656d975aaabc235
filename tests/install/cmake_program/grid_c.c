/* Grids a plane sampled at every second node of a 13 x 9 grid through the C entry MINC
 * of an installed libminc.so into "c.grd", and checks the grid: data nodes hold their
 * datum, nodes between them lie on the plane within the relaxation's convergence.
 * Exit status 0 when every check holds. */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <minc/minc.h>

enum { NX = 13, NY = 9 };

static int failures = 0;

static void check(int ok, const char *what, int i, int j) {
    if (!ok) {
        fprintf(stderr, "check failed: %s (%d, %d)\n", what, i, j);
        ++failures;
    }
}

static float plane(float x, float y) { return 2.0f * x - 1.5f * y + 40.0f; }

/* An 80-character text: the name, a NUL, blanks. */
static void name80(char *text, const char *name) {
    memset(text, ' ', 80);
    memcpy(text, name, strlen(name) + 1);
}

int main(void) {
    FILE *f = fopen("plane.dat", "wb");
    if (f == NULL) return 2;
    for (int j = 0; j < NY; j += 2)
        for (int i = 0; i < NX; i += 2) {
            float rec[3] = {0.5f * (float)i, 0.5f * (float)j, plane(0.5f * (float)i, 0.5f * (float)j)};
            fwrite(rec, 4, 3, f); /* x, y, value: little-endian on this host */
        }
    fclose(f);

    char out[80], dat[80];
    name80(out, "c.grd");
    name80(dat, "plane.dat");
    float x0 = 0.0f, y0 = 0.0f, dx = 0.5f, dy = 0.5f, radius = 0.0f, dummy = -99999.0f;
    float gmin = 0.0f, gmax = 0.0f, angle = 0.0f;
    int nx = NX, ny = NY, ichan = 1, maxchan = 1, mode = 1, iopt = 1, ierr = 0;
    MINC(out, 80, &x0, &y0, &dx, &dy, &nx, &ny, &radius, dat, 80, &ichan, &dummy, &maxchan, &mode,
         &iopt, &gmin, &gmax, &angle, &ierr);
    check(ierr == MINC_OK, "MINC status", ierr, 0);
    check(fabsf(gmin - plane(0.0f, 4.0f)) < 1e-3f && fabsf(gmax - plane(6.0f, 0.0f)) < 1e-3f,
          "range", 0, 0);

    unsigned char header[512];
    float v[NX * NY];
    f = fopen("c.grd", "rb");
    check(f != NULL, "c.grd written", 0, 0);
    if (f == NULL) return 1;
    check(fread(header, 1, 512, f) == 512 && fread(v, 4, NX * NY, f) == NX * NY && fgetc(f) == EOF,
          "c.grd size", 0, 0);
    fclose(f);
    /* Rows from the first y upward. */
    for (int j = 0; j < NY; ++j)
        for (int i = 0; i < NX; ++i) {
            const float tol = i % 2 == 0 && j % 2 == 0 ? 1e-3f : 0.05f;
            check(fabsf(v[j * NX + i] - plane(0.5f * (float)i, 0.5f * (float)j)) < tol,
                  "node off the plane", i + 1, j + 1);
        }
    if (failures == 0) printf("installed libminc.so: plane gridded through MINC\n");
    return failures == 0 ? 0 : 1;
}
