// Near-colour merging behind merge_near, mkmask_near, merge_near_lab and
// mkmask_near_lab: one row loop, a plain or an L*a*b* distance.
#include "mask/near_merge.h"

#include <cmath>

#include "buffers/numeric.h"
#include "buffers/rows.h"
#include "color/convert.h"

double near_weight(double da, double db, double p) {
    if (p == 0) return db > da ? 1 : 0;
    const double pa = std::pow(da, p), pb = std::pow(db, p);
    const double t = pb / (pa + pb);
    return t == t ? t : 0.5;
}

namespace {

// Fixed-point Y, Cb, Cr distance to the key.
struct PlainDistance {
    long long key[3];
    long long w[3];
    double k;
    explicit PlainDistance(const NearMerge& m) : k(m.multiplier) {
        for (int c = 0; c < 3; ++c) {
            key[c] = trunc_to_int(m.key[c]);
            w[c] = trunc_to_int(m.weight[c] * 4096);
        }
    }
    double operator()(const PIXEL_YC& q) const {
        const long long e1 = (w[0] * (key[0] - q.y)) >> 12;
        const long long e2 = (w[1] * (key[1] - q.cb)) >> 12;
        const long long e3 = (w[2] * (key[2] - q.cr)) >> 12;
        const double s = static_cast<double>(e1) * e1 + static_cast<double>(e2) * e2 +
                         static_cast<double>(e3) * e3;
        return std::sqrt(s) * k;
    }
};

// L*a*b* distance to the key (converted once); weights on L*, b*, a*.
struct LabDistance {
    Triple key;
    double wl, wb, wa, k;
    explicit LabDistance(const NearMerge& m)
        : key(yc_to_lab(m.key[0], m.key[1], m.key[2])),
          wl(m.weight[0]),
          wb(m.weight[1]),
          wa(m.weight[2]),
          k(m.multiplier) {}
    double operator()(const PIXEL_YC& q) const {
        const Triple lab = yc_to_lab(q.y, q.cb, q.cr);
        const double el = wl * (lab.a - key.a), ea = wa * (lab.b - key.b),
                     eb = wb * (lab.c - key.c);
        return std::sqrt(el * el + ea * ea + eb * eb) * k;
    }
};

// One row loop for both outputs: write(pa, pb, out, da, db).
template <class Distance, class Write>
void near_rows(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
               const Distance& distance, const Write& write) {
    for_each_triple(a, b, dst, area, [&](const PIXEL_YC& pa, const PIXEL_YC& pb, PIXEL_YC& out) {
        write(pa, pb, out, distance(pa), distance(pb));
    });
}

template <class Write>
void near_space(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                const NearMerge& m, const Write& write) {
    if (m.lab)
        near_rows(a, b, dst, area, LabDistance(m), write);
    else
        near_rows(a, b, dst, area, PlainDistance(m), write);
}

}  // namespace

void merge_near(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                const NearMerge& m) {
    const double p = m.exponent;
    if (p == 0) {
        near_space(a, b, dst, area, m,
                   [](const PIXEL_YC& pa, const PIXEL_YC& pb, PIXEL_YC& out, double da, double db) {
                       out = db > da ? pa : pb;
                   });
        return;
    }
    near_space(a, b, dst, area, m,
               [p](const PIXEL_YC& pa, const PIXEL_YC& pb, PIXEL_YC& out, double da, double db) {
                   const double t = near_weight(da, db, p), u = 1 - t;
                   const PIXEL_YC x = pa, y = pb;  // out may alias a or b
                   out.y = to_component(t * x.y + u * y.y);
                   out.cb = to_component(t * x.cb + u * y.cb);
                   out.cr = to_component(t * x.cr + u * y.cr);
               });
}

void mask_near(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
               const NearMerge& m) {
    const double p = m.exponent;
    near_space(a, b, dst, area, m,
               [p](const PIXEL_YC&, const PIXEL_YC&, PIXEL_YC& out, double da, double db) {
                   put_grade(out, p == 0 ? (db > da ? 4096 : 0)
                                         : trunc_to_int(near_weight(da, db, p) * 4096));
               });
}
