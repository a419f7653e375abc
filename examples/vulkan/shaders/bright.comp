#version 450
// The bright parts of the scene at half size: each pixel the mean of four, scaled down to what
// exceeds the threshold (a quadratic knee below it).
layout(local_size_x = 8, local_size_y = 8) in;
layout(std430, binding = 0) readonly buffer Source { vec4 pixels[]; } source;
layout(std430, binding = 2) writeonly buffer Target { vec4 pixels[]; } target;
layout(push_constant) uniform Params { int width; int height; float threshold; } params;

vec3 at(int x, int y) {
    x = min(x, params.width - 1);
    y = min(y, params.height - 1);
    return source.pixels[y * params.width + x].rgb;
}

void main() {
    int width = (params.width + 1) / 2;
    int height = (params.height + 1) / 2;
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (p.x >= width || p.y >= height) return;
    vec3 c = 0.25 * (at(2 * p.x, 2 * p.y) + at(2 * p.x + 1, 2 * p.y) + at(2 * p.x, 2 * p.y + 1) +
                     at(2 * p.x + 1, 2 * p.y + 1));
    float lum = dot(c, vec3(0.2126, 0.7152, 0.0722));
    float knee = max(0.5 * params.threshold, 1e-4);
    float soft = clamp(lum - params.threshold + knee, 0.0, 2.0 * knee);
    float excess = max(soft * soft / (4.0 * knee), lum - params.threshold);
    target.pixels[p.y * width + p.x] = vec4(lum > 0.0 ? c * (excess / lum) : vec3(0.0), 1.0);
}
