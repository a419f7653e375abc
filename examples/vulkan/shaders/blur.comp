#version 450
// One direction of a separable Gaussian blur (sigma half the radius), edges clamped.
layout(local_size_x = 8, local_size_y = 8) in;
layout(binding = 1, rgba16f) uniform readonly image2D source;
layout(binding = 2, rgba16f) uniform writeonly image2D target;
layout(push_constant) uniform Params { int width; int height; int radius; int vertical; } params;

void main() {
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (p.x >= params.width || p.y >= params.height) return;
    ivec2 step = params.vertical != 0 ? ivec2(0, 1) : ivec2(1, 0);
    float sigma = max(0.5 * float(params.radius), 0.5);
    vec3 sum = vec3(0.0);
    float total = 0.0;
    for (int k = -params.radius; k <= params.radius; ++k) {
        ivec2 q = clamp(p + k * step, ivec2(0), ivec2(params.width - 1, params.height - 1));
        float w = exp(-0.5 * float(k * k) / (sigma * sigma));
        sum += w * imageLoad(source, q).rgb;
        total += w;
    }
    imageStore(target, p, vec4(sum / total, 1.0));
}
