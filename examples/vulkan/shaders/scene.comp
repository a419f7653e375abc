#version 450
// The CPU demo's scene, traced per pixel: a mirror ball, three coloured balls bouncing round
// it, a glowing lamp above a checkered floor under an evening sky. Linear radiance out, each
// pixel's ray through a point that moves within the pixel from one sample of a still camera to
// the next (the first through its centre), so that accumulating the samples smooths the edges.
layout(local_size_x = 8, local_size_y = 8) in;
layout(binding = 2, rgba16f) uniform writeonly image2D target;
layout(push_constant) uniform Params { int width; int height; float time; int jitter; } params;

struct Sphere { vec3 centre; float radius; vec3 albedo; float mirror; vec3 emission; };

const float kEpsilon = 1e-3;
const float kFar = 1e30;
const int kMaxDepth = 2;
Sphere spheres[5];
vec3 sun;

void buildScene(float t) {
    sun = normalize(vec3(-0.45, 0.35, -0.6));
    float a = 0.9 * t;
    float pi = 3.14159265;
    spheres[0] = Sphere(vec3(0.0, 1.0, 0.0), 1.0, vec3(0.95), 0.85, vec3(0.0));
    for (int i = 0; i < 3; ++i) {
        float angle = a + pi * 2.0 / 3.0 * float(i);
        float radius = 0.55 - 0.05 * float(i);
        float height = radius + 0.6 * abs(sin(2.6 * t + float(i)));
        vec3 albedo = i == 0 ? vec3(0.85, 0.12, 0.08) : (i == 1 ? vec3(0.1, 0.3, 0.9) : vec3(0.2, 0.75, 0.25));
        spheres[1 + i] = Sphere(vec3(2.4 * cos(angle), height, 2.4 * sin(angle)), radius, albedo,
                                i == 1 ? 0.25 : 0.08, vec3(0.0));
    }
    float lampAngle = -1.3 * t;
    spheres[4] = Sphere(vec3(1.7 * cos(lampAngle), 2.3 + 0.3 * sin(1.7 * t), 1.7 * sin(lampAngle)),
                        0.22, vec3(0.0), 0.0, vec3(9.0, 5.0, 1.8));
}

// The nearest hit: its distance and what it hit (a sphere's index, -1 for the floor, -2 none).
float intersect(vec3 origin, vec3 dir, out int what) {
    float nearest = kFar;
    what = -2;
    for (int i = 0; i < 5; ++i) {
        vec3 oc = origin - spheres[i].centre;
        float b = dot(oc, dir);
        float disc = b * b - (dot(oc, oc) - spheres[i].radius * spheres[i].radius);
        if (disc < 0.0) continue;
        float t = -b - sqrt(disc);
        if (t > kEpsilon && t < nearest) { nearest = t; what = i; }
    }
    if (dir.y < 0.0) {
        float t = -origin.y / dir.y;
        if (t > kEpsilon && t < nearest) { nearest = t; what = -1; }
    }
    return nearest;
}

// The lamp casts no shadow: it is the light the shadow rays look for.
bool occluded(vec3 point, vec3 dir, float distance) {
    for (int i = 0; i < 4; ++i) {
        vec3 oc = point - spheres[i].centre;
        float b = dot(oc, dir);
        float disc = b * b - (dot(oc, oc) - spheres[i].radius * spheres[i].radius);
        if (disc < 0.0) continue;
        float t = -b - sqrt(disc);
        if (t > kEpsilon && t < distance) return true;
    }
    return false;
}

vec3 sky(vec3 dir) {
    float up = max(dir.y, 0.0);
    vec3 colour = mix(vec3(0.95, 0.55, 0.32), vec3(0.06, 0.14, 0.42), 1.0 - exp(-7.0 * up));
    float toSun = max(dot(dir, sun), 0.0);
    colour += vec3(1.0, 0.55, 0.25) * (0.5 * pow(toSun, 24.0));
    if (toSun > 0.9992) colour += vec3(40.0, 30.0, 18.0);
    return colour;
}

vec3 lightAt(vec3 point, vec3 normal, vec3 view, float shininess) {
    vec3 sunColour = vec3(2.6, 2.0, 1.5);
    vec3 light = vec3(0.22, 0.26, 0.38) * (0.5 + 0.5 * normal.y);
    float sunCos = dot(normal, sun);
    if (sunCos > 0.0 && !occluded(point, sun, kFar)) {
        light += sunColour * sunCos;
        if (shininess > 0.0)
            light += sunColour * pow(max(dot(normal, normalize(sun - view)), 0.0), shininess);
    }
    vec3 toLamp = spheres[4].centre - point;
    float distance2 = dot(toLamp, toLamp);
    float distance = sqrt(distance2);
    vec3 dir = toLamp / distance;
    float lampCos = dot(normal, dir);
    if (lampCos > 0.0 && !occluded(point, dir, distance - spheres[4].radius))
        light += spheres[4].emission * (0.12 * lampCos / distance2);
    return light;
}

// The recursive tracer of the CPU demo unrolled: each bounce adds its share, weighted by what
// the bounces before it pass on (Schlick's Fresnel, the floor's haze).
vec3 trace(vec3 origin, vec3 dir) {
    vec3 result = vec3(0.0);
    float weight = 1.0;
    for (int depth = 0; depth <= kMaxDepth; ++depth) {
        int what;
        float t = intersect(origin, dir, what);
        if (what == -2) return result + weight * sky(dir);
        if (what >= 0 && spheres[what].emission.r > 0.0) return result + weight * spheres[what].emission;
        vec3 point = origin + dir * t;
        vec3 normal = what < 0 ? vec3(0.0, 1.0, 0.0) : (point - spheres[what].centre) / spheres[what].radius;
        vec3 albedo;
        float mirror;
        float shininess;
        if (what < 0) {
            bool dark = ((int(floor(point.x)) + int(floor(point.z))) & 1) != 0;
            albedo = dark ? vec3(0.12, 0.11, 0.1) : vec3(0.6, 0.56, 0.5);
            mirror = 0.12;
            shininess = 0.0;
        } else {
            albedo = spheres[what].albedo;
            mirror = spheres[what].mirror;
            shininess = 80.0;
        }
        vec3 local = albedo * lightAt(point, normal, dir, shininess);
        float fresnel = 0.0;
        if (depth < kMaxDepth && mirror > 0.0)
            fresnel = mirror + (1.0 - mirror) * pow(1.0 - max(-dot(dir, normal), 0.0), 5.0);
        float haze = what < 0 ? 1.0 - exp(-0.03 * t) : 0.0;
        result += weight * ((1.0 - fresnel) * (1.0 - haze) * local + haze * sky(dir));
        weight *= fresnel * (1.0 - haze);
        if (fresnel == 0.0) break;
        origin = point;
        dir = reflect(dir, normal);
    }
    return result;
}

// The radical inverse of i in base b: a low-discrepancy sequence in [0, 1).
float halton(int i, int b) {
    float f = 1.0;
    float r = 0.0;
    while (i > 0) {
        f /= float(b);
        r += f * float(i % b);
        i /= b;
    }
    return r;
}

void main() {
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (p.x >= params.width || p.y >= params.height) return;
    buildScene(params.time);
    float angle = 0.6 + 0.25 * params.time;
    vec3 eye = vec3(7.0 * cos(angle), 2.6, 7.0 * sin(angle));
    vec3 forward = normalize(vec3(0.0, 0.8, 0.0) - eye);
    vec3 right = normalize(cross(forward, vec3(0.0, 1.0, 0.0)));
    vec3 up = cross(right, forward);
    float scale = 2.0 * tan(0.5 * radians(50.0)) / float(params.height);
    vec2 offset = params.jitter == 0 ? vec2(0.5)
                                     : vec2(halton(params.jitter, 2), halton(params.jitter, 3));
    float u = (float(p.x) + offset.x - 0.5 * float(params.width)) * scale;
    float v = (0.5 * float(params.height) - float(p.y) - offset.y) * scale;
    imageStore(target, p, vec4(trace(eye, normalize(forward + right * u + up * v)), 1.0));
}
