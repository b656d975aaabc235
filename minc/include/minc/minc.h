/* libminc: minimum-curvature gridding of scattered points into GRD grid files.
 *
 * Calling convention of every entry: each argument is passed by reference (a
 * pointer); each text argument is immediately followed by its length in characters,
 * passed by value as an int. A text names a file by the characters before its first
 * NUL when that NUL is not the first character (even a single character); otherwise
 * by the text without trailing blanks, which counts only when at least 2 characters
 * long; a text that begins with a NUL names nothing. An output name that does not
 * count gives "outfile.grd"; a MINC data file name that does not count gives
 * MINC_BAD_DATA_NAME, and a rotated MINC call needs the NUL in DATFILE.
 *
 * The entries work in the current directory, are not re-entrant and must not run in
 * two threads or processes in the same directory at the same time.
 */
#ifndef MINC_MINC_H
#define MINC_MINC_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes left in IERR / returned by the status variants. */
enum {
    MINC_OK = 0,
    MINC_TOO_MANY_BLOCKS = -2,         /* more than 3600 blocks */
    MINC_OVERLAP_TOO_SMALL = -999,     /* several blocks and NX or NY of 5 or less */
    MINC_BAD_DATA_NAME = -1000,        /* no data file name; rotated: no data range */
    MINC_NO_PARTITION = -1001,         /* the grid cannot be cut into blocks */
    MINC_NO_DATA = -1002,              /* no data point accepted (or file missing) */
    /* -1003 .. -1011: failures of the template grid and the block solves;
       -1013, -1014: blanking window too wide / too narrow. */
    MINC_BAD_SPACING = -1020,          /* DX or DY zero, negative or not finite */
    MINC_BAD_SIZE = -1021,             /* NX or NY below 1 */
    MINC_BAD_CHANNEL = -1022,          /* ICHAN outside 1..MAXCHAN */
    MINC_BAD_MAX_CHANNELS = -1023,     /* MAXCHAN below 1 or above 256 */
    MINC_BAD_ORIGIN = -1024,           /* X0 or Y0 not finite, or X0/DX, Y0/DY beyond the int range */
    MINC_BAD_DUMMY = -1025,            /* DUMMY is NaN */
    MINC_STORE_FAILED = -1030,         /* a scratch store could not be written or read */
    MINC_ROW_TOO_WIDE = -1031,         /* a grid row does not fit the work area */
    MINC_MASK_FAILED = -1032,          /* the blanking mask could not be read or written */
    MINC_INPUT_FAILED = -1033,         /* the input data file could not be read */
    MINC_OUTPUT_FAILED = -1034,        /* the grid file could not be created or written */
    MINC_OUTLINE_TOO_SMALL = -1035,    /* blanking outline store too small */
    MINC_NOT_FINITE = -1036,           /* the gridded values overflowed (not finite) */
    MINC_TOO_MUCH_DATA = -1037,        /* the data file holds more than 2^23 records */
    MINC_OUTPUT_IS_INPUT = -1040,      /* OUTFILE (or "minc.log") is the file DATFILE */
    MINC_OUTPUT_NOT_WRITABLE = -1041,  /* OUTFILE exists and may not be written */
    MINC_CANCELLED = -1042,            /* the progress callback asked to stop */
    MINC_BAD_REQUEST = -1043           /* no request, or a size the library does not know */
};

/* MINC_STATUS_TEXT: a short English description of a status code (one line, no final
 * stop), "unknown status" for a code the library never returns. The text is static. */
const char *MINC_STATUS_TEXT(int code);

/* MINC: grids channel ICHAN of the input data file DATFILE (records of 2 + MAXCHAN
 * little-endian 32-bit reals: x, y, channel values) onto the NX x NY grid with first
 * node (X0, Y0) and spacings DX, DY, rotated by ANGLE degrees, and writes the grid file
 * OUTFILE and the log "minc.log". Values equal to DUMMY are ignored. MODE 1 grids the
 * values, 2 their natural logarithm, 3 a signed logarithm (the file holds values).
 * RADIUS > 0 blanks nodes farther than RADIUS from data. IOPT 1 stores rows upward in y.
 * IERR in: relaxation iteration limit (32 or more, else 512 is used);
 * out: 0 or a negative code. GMIN, GMAX receive the grid's value range on success and
 * are left as they were on failure. */
void MINC(char *outfile, int outfile_len, float *x0, float *y0, float *dx, float *dy,
          int *nx, int *ny, float *radius, char *datfile, int datfile_len, int *ichan,
          float *dummy, int *maxchan, int *mode, int *iopt, float *gmin, float *gmax,
          float *angle, int *ierr);

/* MINC_RESET: forgets the relaxation state that MINC carries from one call to the
 * next in this process, so that the next MINC call grids exactly as the first call of
 * a fresh process does (as the minc command does for every grid). Not re-entrant, like
 * MINC itself. */
void MINC_RESET(void);

/* MINC_POINTS: grids the N points (X[k], Y[k], Z[k]) held in memory into the grid file
 * OUTFILE (a NUL-terminated name, used as given), as MINC grids a one-channel input data
 * file of the same points (ICHAN = MAXCHAN = 1) with the other arguments by value. Every
 * call starts from a fresh relaxation state and keeps its log in memory, so it writes no
 * file but the grid and leaves MINC's carried state alone; unlike MINC it may be called
 * from several threads at once. ITERATIONS is the sweep limit (below 32: 512). Returns 0
 * or a negative code; GMIN and GMAX (may be NULL) receive the grid's range on success.
 * No OUTFILE gives MINC_OUTPUT_FAILED, N below 1 or a missing array MINC_NO_DATA, more
 * points than an input data file may hold MINC_TOO_MUCH_DATA. */
int MINC_POINTS(const char *outfile, const float *x, const float *y, const float *z, int n,
                float x0, float y0, float dx, float dy, int nx, int ny, float radius,
                float dummy, int mode, int iopt, float angle, int iterations, float *gmin,
                float *gmax);

/* MINC_GRID_POINTS: MINC_POINTS with its arguments as one request, which can grow
 * without breaking callers built against an older minc.h. Set SIZE to
 * sizeof(MINC_POINTS_REQUEST), clear the rest (fields added later mean "as before" when
 * zero), fill the fields and call. The grid, the code and GMIN, GMAX are those of
 * MINC_POINTS with the same arguments; in addition PROGRESS, when not NULL, is called
 * after each tier of blocks with the share of the solve done (above 0, up to 1) and
 * PROGRESS_DATA, and a return of 0 stops the call with MINC_CANCELLED and no grid.
 * MINC_BAD_REQUEST: REQUEST is NULL, SIZE is smaller than the first version of the
 * struct (MINC_POINTS_REQUEST_SIZE_1), or larger than this version and the bytes beyond
 * the fields known here are not all zero. Fields beyond SIZE are neither read nor
 * written. */
typedef struct MINC_POINTS_REQUEST {
    size_t size;                       /* sizeof(MINC_POINTS_REQUEST) */
    const char *outfile;               /* grid file, NUL-terminated, used as given */
    const float *x, *y, *z;            /* the points */
    int n;                             /* number of points */
    float x0, y0, dx, dy;              /* first node, spacings */
    int nx, ny;                        /* columns, rows */
    float radius;                      /* blanking radius; 0: no blanking */
    float dummy;                       /* values equal to it are ignored */
    int mode, iopt;                    /* as MINC */
    float angle;                       /* degrees */
    int iterations;                    /* sweep limit; below 32: 512 */
    float gmin, gmax;                  /* out: the grid's range on success */
    int (*progress)(double share_done, void *progress_data);  /* may be NULL */
    void *progress_data;
    /* Added in 0.2: the call's log, the bytes "minc.log" would hold (a line per parameter,
     * then per solved block its tier, section, first and last largest change and sweeps),
     * handed back on success and failure alike. LOG, when not NULL, receives the first
     * LOG_SIZE bytes (no NUL added); LOG_LENGTH receives the whole log's length, so a
     * longer log is seen to be cut. A request that ends before LOG asks for no log. */
    char *log;
    size_t log_size;
    size_t log_length;                 /* out */
} MINC_POINTS_REQUEST;

/* The size of the first version of the request, which ends with PROGRESS_DATA. */
#define MINC_POINTS_REQUEST_SIZE_1 (offsetof(MINC_POINTS_REQUEST, progress_data) + sizeof(void *))

int MINC_GRID_POINTS(MINC_POINTS_REQUEST *request);

/* MINC_VERSION: the library's release number, "MAJOR.MINOR.PATCH". */
const char *MINC_VERSION(void);

/* GEOROT: resamples the grid file SRCFIL (SNC x SNR nodes, cell sizes SDX, SDY, origin
 * SX0, SY0 in the rotated frame) into the grid file GRDFIL (NX x NY nodes, DX, DY,
 * X0, Y0) by bilinear interpolation: an output position is turned by ANGLE degrees
 * counter-clockwise about (XR, YR), offset by UOFF, VOFF and divided by USCL, VSCL to
 * find its place in the source. WORK is a row buffer of at least NX reals. GMIN and
 * GMAX are written to the header unchanged. DUMMY is not used. Reports nothing. */
void GEOROT(char *srcfil, int srcfil_len, char *grdfil, int grdfil_len, float *sdx,
            float *sdy, float *sx0, float *sy0, int *snc, int *snr, float *dx, float *dy,
            float *x0, float *y0, int *nx, int *ny, float *work, float *angle, float *xr,
            float *yr, float *uoff, float *voff, float *uscl, float *vscl, int *iopt,
            float *dummy, float *gmin, float *gmax);

/* GEOFLIP: writes the grid file INFILE with its two axes exchanged as OUTFILE.
 * Reports nothing. */
void GEOFLIP(char *infile, int infile_len, char *outfile, int outfile_len);

/* Status variants of the two grid routines: the same work, returning 0 on success or a
 * negative code: -1 input missing or unreadable, -2 output not created or written,
 * -3 input header invalid or input too short, -4 bad arguments. A failed call leaves
 * no output file. */
int GEOROT_STATUS(char *srcfil, int srcfil_len, char *grdfil, int grdfil_len, float *sdx,
                  float *sdy, float *sx0, float *sy0, int *snc, int *snr, float *dx,
                  float *dy, float *x0, float *y0, int *nx, int *ny, float *work,
                  float *angle, float *xr, float *yr, float *uoff, float *voff,
                  float *uscl, float *vscl, int *iopt, float *dummy, float *gmin,
                  float *gmax);
int GEOFLIP_STATUS(char *infile, int infile_len, char *outfile, int outfile_len);

#ifdef __cplusplus
}
#endif

#endif /* MINC_MINC_H */
