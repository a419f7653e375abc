#version 450
// The bright parts of the scene at half size: each pixel the mean of four (one bilinear sample
// between them, clamped at the edges), scaled down to what exceeds the threshold (a quadratic
// knee below it).
layout(local_size_x = 8, local_size_y = 8) in;
layout(binding = 0) uniform sampler2D source;
layout(binding = 2, rgba16f) uniform writeonly image2D target;
layout(push_constant) uniform Params { int width; int height; float threshold; } params;

void main() {
    int width = (params.width + 1) / 2;
    int height = (params.height + 1) / 2;
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (p.x >= width || p.y >= height) return;
    vec3 c = textureLod(source, vec2(2 * p + 1) / vec2(params.width, params.height), 0.0).rgb;
    float lum = dot(c, vec3(0.2126, 0.7152, 0.0722));
    float knee = max(0.5 * params.threshold, 1e-4);
    float soft = clamp(lum - params.threshold + knee, 0.0, 2.0 * knee);
    float excess = max(soft * soft / (4.0 * knee), lum - params.threshold);
    imageStore(target, p, vec4(lum > 0.0 ? c * (excess / lum) : vec3(0.0), 1.0));
}
