#include "scene.h"

#include <QThread>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>

namespace OrvDemo {

namespace {

struct Vec3 {
    float x, y, z;
};

Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator*(Vec3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 normalized(Vec3 v) {
    return v * (1.0f / std::sqrt(dot(v, v)));
}
Vec3 reflected(Vec3 d, Vec3 n) {
    return d - n * (2.0f * dot(d, n));
}
Rgb mix(Rgb a, Rgb b, float t) {
    return a * (1.0f - t) + b * t;
}

struct Ray {
    Vec3 origin;
    Vec3 dir;  // unit length
};

struct Sphere {
    Vec3 centre;
    float radius;
    Rgb albedo;
    float mirror;  // share of reflected light at normal incidence
    Rgb emission;  // non-zero for the lamp, which also lights the scene
};

struct Hit {
    float t;
    Vec3 point;
    Vec3 normal;
    int sphere;  // index into the spheres, or -1 for the floor
};

constexpr float kEpsilon = 1e-3f;
constexpr float kFar = 1e30f;
constexpr int kMaxDepth = 2;

class Scene {
public:
    explicit Scene(float time);
    Rgb trace(const Ray& ray, int depth) const;

private:
    bool intersect(const Ray& ray, Hit* hit) const;
    bool occluded(Vec3 point, Vec3 dir, float distance) const;
    Rgb sky(Vec3 dir) const;
    Rgb lightAt(Vec3 point, Vec3 normal, Vec3 view, float shininess) const;

    std::array<Sphere, 5> _spheres;
    const Sphere& lamp() const { return _spheres.back(); }
    Vec3 _sun;
};

Scene::Scene(float t) : _sun(normalized({-0.45f, 0.35f, -0.6f})) {
    const float a = 0.9f * t;
    const float pi = 3.14159265f;
    auto bounce = [t](float phase) { return std::fabs(std::sin(2.6f * t + phase)); };
    auto orbit = [](float angle, float radius, float height) {
        return Vec3{radius * std::cos(angle), height, radius * std::sin(angle)};
    };
    _spheres = {{
        {{0.0f, 1.0f, 0.0f}, 1.0f, {0.95f, 0.95f, 0.95f}, 0.85f, {}},
        {orbit(a, 2.4f, 0.55f + 0.6f * bounce(0.0f)), 0.55f, {0.85f, 0.12f, 0.08f}, 0.08f, {}},
        {orbit(a + pi * 2 / 3, 2.4f, 0.5f + 0.6f * bounce(1.0f)),
         0.5f,
         {0.1f, 0.3f, 0.9f},
         0.25f,
         {}},
        {orbit(a + pi * 4 / 3, 2.4f, 0.45f + 0.6f * bounce(2.0f)),
         0.45f,
         {0.2f, 0.75f, 0.25f},
         0.08f,
         {}},
        {orbit(-1.3f * t, 1.7f, 2.3f + 0.3f * std::sin(1.7f * t)),
         0.22f,
         {},
         0.0f,
         {9.0f, 5.0f, 1.8f}},
    }};
}

bool Scene::intersect(const Ray& ray, Hit* hit) const {
    hit->t = kFar;
    hit->sphere = -2;
    for (int i = 0; i < int(_spheres.size()); ++i) {
        const Sphere& s = _spheres[i];
        const Vec3 oc = ray.origin - s.centre;
        const float b = dot(oc, ray.dir);
        const float disc = b * b - (dot(oc, oc) - s.radius * s.radius);
        if (disc < 0.0f) continue;
        const float t = -b - std::sqrt(disc);
        if (t > kEpsilon && t < hit->t) {
            hit->t = t;
            hit->sphere = i;
        }
    }
    if (ray.dir.y < 0.0f) {
        const float t = -ray.origin.y / ray.dir.y;
        if (t > kEpsilon && t < hit->t) {
            hit->t = t;
            hit->sphere = -1;
        }
    }
    if (hit->sphere == -2) return false;
    hit->point = ray.origin + ray.dir * hit->t;
    hit->normal = hit->sphere < 0 ? Vec3{0.0f, 1.0f, 0.0f}
                                  : (hit->point - _spheres[hit->sphere].centre) *
                                        (1.0f / _spheres[hit->sphere].radius);
    return true;
}

bool Scene::occluded(Vec3 point, Vec3 dir, float distance) const {
    // The lamp casts no shadow: it is the light the shadow rays look for.
    for (int i = 0; i + 1 < int(_spheres.size()); ++i) {
        const Sphere& s = _spheres[i];
        const Vec3 oc = point - s.centre;
        const float b = dot(oc, dir);
        const float disc = b * b - (dot(oc, oc) - s.radius * s.radius);
        if (disc < 0.0f) continue;
        const float t = -b - std::sqrt(disc);
        if (t > kEpsilon && t < distance) return true;
    }
    return false;
}

Rgb Scene::sky(Vec3 dir) const {
    const float up = std::fmax(dir.y, 0.0f);
    Rgb colour = mix({0.95f, 0.55f, 0.32f}, {0.06f, 0.14f, 0.42f}, 1.0f - std::exp(-7.0f * up));
    const float toSun = std::fmax(dot(dir, _sun), 0.0f);
    colour = colour + Rgb{1.0f, 0.55f, 0.25f} * (0.5f * std::pow(toSun, 24.0f));
    if (toSun > 0.9992f) colour = colour + Rgb{40.0f, 30.0f, 18.0f};
    return colour;
}

Rgb Scene::lightAt(Vec3 point, Vec3 normal, Vec3 view, float shininess) const {
    const Rgb sunColour{2.6f, 2.0f, 1.5f};
    const float ambientShare = 0.5f + 0.5f * normal.y;
    Rgb light = Rgb{0.22f, 0.26f, 0.38f} * ambientShare;

    const float sunCos = dot(normal, _sun);
    if (sunCos > 0.0f && !occluded(point, _sun, kFar)) {
        light = light + sunColour * sunCos;
        if (shininess > 0.0f) {
            const Vec3 half = normalized(_sun - view);
            light = light + sunColour * std::pow(std::fmax(dot(normal, half), 0.0f), shininess);
        }
    }

    const Vec3 toLamp = lamp().centre - point;
    const float distance2 = dot(toLamp, toLamp);
    const float distance = std::sqrt(distance2);
    const Vec3 dir = toLamp * (1.0f / distance);
    const float lampCos = dot(normal, dir);
    if (lampCos > 0.0f && !occluded(point, dir, distance - lamp().radius))
        light = light + lamp().emission * (0.12f * lampCos / distance2);
    return light;
}

Rgb Scene::trace(const Ray& ray, int depth) const {
    Hit hit;
    if (!intersect(ray, &hit)) return sky(ray.dir);
    if (hit.sphere >= 0 && _spheres[hit.sphere].emission.r > 0.0f)
        return _spheres[hit.sphere].emission;

    Rgb albedo;
    float mirror;
    float shininess;
    if (hit.sphere < 0) {
        const bool dark = (int(std::floor(hit.point.x)) + int(std::floor(hit.point.z))) & 1;
        albedo = dark ? Rgb{0.12f, 0.11f, 0.1f} : Rgb{0.6f, 0.56f, 0.5f};
        mirror = 0.12f;
        shininess = 0.0f;
    } else {
        albedo = _spheres[hit.sphere].albedo;
        mirror = _spheres[hit.sphere].mirror;
        shininess = 80.0f;
    }

    Rgb colour = albedo * lightAt(hit.point, hit.normal, ray.dir, shininess);
    if (depth < kMaxDepth && mirror > 0.0f) {
        // Schlick's approximation: grazing rays reflect more.
        const float cosine = std::fmax(-dot(ray.dir, hit.normal), 0.0f);
        const float fresnel = mirror + (1.0f - mirror) * std::pow(1.0f - cosine, 5.0f);
        const Ray bounce{hit.point, reflected(ray.dir, hit.normal)};
        colour = mix(colour, trace(bounce, depth + 1), fresnel);
    }
    if (hit.sphere < 0) {
        // Haze towards the horizon hides the floor's far aliasing.
        colour = mix(colour, sky(ray.dir), 1.0f - std::exp(-0.03f * hit.t));
    }
    return colour;
}

// The radical inverse of `index` in `base`: points that fill [0, 1) evenly however many are
// taken.
float halton(int index, int base) {
    float scale = 1.0f;
    float value = 0.0f;
    for (int i = index; i > 0; i /= base) {
        scale /= float(base);
        value += scale * float(i % base);
    }
    return value;
}

// One frame of the scene: the scene at `time`, its view, and the rows of the image to trace.
struct SceneFrame {
    SceneFrame(const FloatImage& target, double time, const SceneView& sampled)
        : image(target), scene(float(time)), angle(float(sampled.camera)), view(sampled) {}

    void renderRows(int firstRow, int endRow) {
        const int width = image.width();
        const int height = image.height();
        const Vec3 eye{7.0f * std::cos(angle), 2.6f, 7.0f * std::sin(angle)};
        const Vec3 forward = normalized(Vec3{0.0f, 0.8f, 0.0f} - eye);
        const Vec3 right = normalized(cross(forward, {0.0f, 1.0f, 0.0f}));
        const Vec3 up = cross(right, forward);
        const float halfHeight = std::tan(0.5f * 50.0f * 3.14159265f / 180.0f);
        const float scale = 2.0f * halfHeight / float(height);
        for (int y = firstRow; y < endRow; ++y) {
            Rgb* row = image.line(y);
            for (int x = 0; x < width; ++x) {
                const float u = (float(x) + 0.5f + view.jitterX - 0.5f * float(width)) * scale;
                const float v = (0.5f * float(height) - float(y) - 0.5f - view.jitterY) * scale;
                const Ray ray{eye, normalized(forward + right * u + up * v)};
                row[x] = scene.trace(ray, 0);
            }
        }
    }
    // More stripes than threads, since the rows across the horizon cost more than the sky.
    int stripes(const WorkerPool& workers) const {
        return std::min(4 * workers.size(), image.height());
    }
    int firstRow(int stripe, int stripes) const { return image.height() * stripe / stripes; }

    FloatImage image;
    const Scene scene;
    const float angle;
    const SceneView view;
};

}  // namespace

SceneView jitteredView(double camera, int frame) {
    const int index = (frame % 16 + 16) % 16 + 1;  // 0 would sample the centre twice
    return SceneView{camera, halton(index, 2) - 0.5f, halton(index, 3) - 0.5f};
}

FloatImage renderScene(int width, int height, double time, const SceneView& view,
                       WorkerPool* workers) {
    SceneFrame frame(FloatImage(width, height), time, view);
    if (frame.image.isNull()) return frame.image;
    if (!workers) {
        frame.renderRows(0, height);
        return frame.image;
    }
    const int stripes = frame.stripes(*workers);
    workers->runAndWait(stripes, [&](int s) {
        frame.renderRows(frame.firstRow(s, stripes), frame.firstRow(s + 1, stripes));
    });
    return frame.image;
}

// One frame in flight: its stripes, and how many are still being traced. The acquire-release
// counter orders every stripe's rows before isFinished() sees the job done.
struct ScenePass::Job {
    Job(const FloatImage& image, double time, const SceneView& view) : frame(image, time, view) {}
    SceneFrame frame;
    std::atomic<int> pending{0};
    std::atomic<bool> done{false};
};

ScenePass::ScenePass() : _workers(std::max(QThread::idealThreadCount(), 2)) {
    addInput(QStringLiteral("time"), 0.0);
    addInput(QStringLiteral("width"), 640);
    addInput(QStringLiteral("height"), 360);
    addInput(QStringLiteral("frame"), 0);
    addInput(QStringLiteral("failAt"), -1);
    addInput(QStringLiteral("camera"), 0.6);
    addOutput(QStringLiteral("color"));
}

void ScenePass::start(Vantrel::Orv::RenderCallbacks*) {
    _job.reset();
    const int frame = input<int>(3);
    const int failAt = input<int>(4);
    if (failAt >= 0 && frame == failAt) {
        setErrorCode(1);
        return;
    }
    auto job = std::make_shared<Job>(newImage(0, input<int>(1), input<int>(2)), input<double>(0),
                                     jitteredView(input<double>(5), frame));
    _job = job;
    if (job->frame.image.isNull()) {
        job->done.store(true, std::memory_order_release);
        return;
    }
    const int stripes = job->frame.stripes(_workers);
    job->pending.store(stripes, std::memory_order_relaxed);
    for (int s = 0; s < stripes; ++s) {
        _workers.post([job, s, stripes] {
            job->frame.renderRows(job->frame.firstRow(s, stripes),
                                  job->frame.firstRow(s + 1, stripes));
            if (job->pending.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                job->done.store(true, std::memory_order_release);
                WorkDone::shared().notify();
            }
        });
    }
}

bool ScenePass::isFinished() const {
    return !_job || _job->done.load(std::memory_order_acquire);
}

void ScenePass::endFrame(Vantrel::Orv::RenderCallbacks* callbacks) {
    if (_job) setOutput(0, QVariant::fromValue(_job->frame.image));
    _job.reset();
    DemoPass::endFrame(callbacks);
}

}  // namespace OrvDemo
