"""The pose conversions written in pure Python: what a user would write without liborvek.

The same formulas as liborvek's Pose (radians; quaternions (x, y, z, w); Euler angles roll,
pitch, yaw with R = Rz(yaw) Ry(pitch) Rx(roll); 4 x 4 matrices as 16 numbers in column-major
order), with the same results and result shapes:

    euler()       -> ([x, y, z], [roll, pitch, yaw])
    quat()        -> ([x, y, z], [qx, qy, qz, qw])
    homo()        -> [16 numbers]
    axis_angle()  -> ([x, y, z], [ax, ay, az], angle)
    position()    -> [x, y, z]

A Quat's quaternion is divided by its length before each conversion, as the library does
with a quaternion given from Python. The rotation of a matrix is the nearest rotation,
found by the iteration of the library's documentation. bench/run.py checks these against
the library before it times them.
"""

from __future__ import annotations

import math

EPS = 2.220446049250313e-16
DELTA = math.sqrt(EPS)


# --- formulas -------------------------------------------------------------------------------


def quat_to_matrix(q):
    x, y, z, w = q
    return [
        [w * w + x * x - y * y - z * z, 2 * (x * y - w * z), 2 * (x * z + w * y)],
        [2 * (x * y + w * z), w * w - x * x + y * y - z * z, 2 * (y * z - w * x)],
        [2 * (x * z - w * y), 2 * (y * z + w * x), w * w - x * x - y * y + z * z],
    ]


def matrix_to_euler(r):
    if abs(r[2][0]) < 1:
        pitch = -math.asin(r[2][0])
        c = math.cos(pitch)
        return [math.atan2(r[2][1] / c, r[2][2] / c), pitch, math.atan2(r[1][0] / c, r[0][0] / c)]
    if r[2][0] <= -1:
        return [math.atan2(r[0][1], r[0][2]), math.pi / 2, 0.0]
    return [-math.atan2(r[0][1], -r[0][2]), -math.pi / 2, 0.0]


def euler_to_matrix(a):
    sr, cr = math.sin(a[0]), math.cos(a[0])
    sp, cp = math.sin(a[1]), math.cos(a[1])
    sy, cy = math.sin(a[2]), math.cos(a[2])
    return [
        [cy * cp, cy * sp * sr - sy * cr, cy * sp * cr + sy * sr],
        [sy * cp, sy * sp * sr + cy * cr, sy * sp * cr - cy * sr],
        [-sp, cp * sr, cp * cr],
    ]


def euler_to_quat(a):
    sr, cr = math.sin(a[0] / 2), math.cos(a[0] / 2)
    sp, cp = math.sin(a[1] / 2), math.cos(a[1] / 2)
    sy, cy = math.sin(a[2] / 2), math.cos(a[2] / 2)
    return [
        sr * cp * cy - cr * sp * sy,
        cr * sp * cy + sr * cp * sy,
        cr * cp * sy - sr * sp * cy,
        cr * cp * cy + sr * sp * sy,
    ]


def axis_angle_to_quat(axis, angle):
    n = math.sqrt(axis[0] ** 2 + axis[1] ** 2 + axis[2] ** 2)
    s = math.sin(angle / 2)
    return [s * axis[0] / n, s * axis[1] / n, s * axis[2] / n, math.cos(angle / 2)]


def axis_angle_to_matrix(axis, angle):
    if angle == 0:
        return [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]
    n = math.sqrt(axis[0] ** 2 + axis[1] ** 2 + axis[2] ** 2)
    ux, uy, uz = axis[0] / n, axis[1] / n, axis[2] / n
    s, c = math.sin(angle), math.cos(angle)
    t = 1 - c
    return [
        [ux * ux + (1 - ux * ux) * c, ux * uy * t - uz * s, ux * uz * t + uy * s],
        [ux * uy * t + uz * s, uy * uy + (1 - uy * uy) * c, uy * uz * t - ux * s],
        [ux * uz * t - uy * s, uy * uz * t + ux * s, uz * uz + (1 - uz * uz) * c],
    ]


def quat_to_axis_angle(q):
    x, y, z, w = q
    v = (x, y, z) if w >= 0 else (-x, -y, -z)
    n2 = v[0] ** 2 + v[1] ** 2 + v[2] ** 2
    if n2 > 0:
        n = math.sqrt(n2)
        return [v[0] / n, v[1] / n, v[2] / n], 2 * math.atan2(math.sqrt(x * x + y * y + z * z), abs(w))
    return [1.0, 0.0, 0.0], 0.0


def matmul(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(3)) for j in range(3)] for i in range(3)]


def distance2(m, r):
    return sum((m[i][j] - r[i][j]) ** 2 for i in range(3) for j in range(3))


def nearest_rotation(m):
    """The rotation nearest to the 3 x 3 block m, by the iteration of the documentation."""
    r = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]
    a = [1.0, 0.0, 0.0]
    while True:
        while True:
            w = [0.0, 0.0, 0.0]
            d = 0.0
            for k in range(3):
                rc = (r[0][k], r[1][k], r[2][k])
                mc = (m[0][k], m[1][k], m[2][k])
                w[0] += rc[1] * mc[2] - rc[2] * mc[1]
                w[1] += rc[2] * mc[0] - rc[0] * mc[2]
                w[2] += rc[0] * mc[1] - rc[1] * mc[0]
                d += rc[0] * mc[0] + rc[1] * mc[1] + rc[2] * mc[2]
            v = [c / (abs(d) + EPS) for c in w]
            n2 = v[0] ** 2 + v[1] ** 2 + v[2] ** 2
            if n2 <= EPS * EPS:
                break
            n = math.sqrt(n2)
            r = matmul(axis_angle_to_matrix([v[0] / n, v[1] / n, v[2] / n], n), r)
        e0 = distance2(m, r)
        p = r
        while True:
            p = matmul(p, axis_angle_to_matrix(a, DELTA))
            e1 = distance2(m, p)
            if abs(e0 - e1) > EPS:
                break
        if e0 < e1:
            return r
        a = [a[1], a[2], a[0]]
        r = p


def matrix_to_quat(r):
    t = r[0][0] + r[1][1] + r[2][2]
    if t > 0:
        s = 2 * math.sqrt(t + 1)
        return [(r[2][1] - r[1][2]) / s, (r[0][2] - r[2][0]) / s, (r[1][0] - r[0][1]) / s, s / 4]
    if r[0][0] > r[1][1] and r[0][0] > r[2][2]:
        s = 2 * math.sqrt(1 + r[0][0] - r[1][1] - r[2][2])
        return [s / 4, (r[0][1] + r[1][0]) / s, (r[0][2] + r[2][0]) / s, (r[2][1] - r[1][2]) / s]
    if r[1][1] > r[2][2]:
        s = 2 * math.sqrt(1 + r[1][1] - r[0][0] - r[2][2])
        return [(r[0][1] + r[1][0]) / s, s / 4, (r[1][2] + r[2][1]) / s, (r[0][2] - r[2][0]) / s]
    s = 2 * math.sqrt(1 + r[2][2] - r[0][0] - r[1][1])
    return [(r[0][2] + r[2][0]) / s, (r[1][2] + r[2][1]) / s, s / 4, (r[1][0] - r[0][1]) / s]


def homo_to_quat(h):
    block = [[h[0], h[4], h[8]], [h[1], h[5], h[9]], [h[2], h[6], h[10]]]
    return matrix_to_quat(nearest_rotation(block))


def to_homo(r, t):
    return [r[0][0], r[1][0], r[2][0], 0.0, r[0][1], r[1][1], r[2][1], 0.0,
            r[0][2], r[1][2], r[2][2], 0.0, t[0], t[1], t[2], 1.0]


def normalized(q):
    n = math.sqrt(q[0] ** 2 + q[1] ** 2 + q[2] ** 2 + q[3] ** 2)
    return [q[0] / n, q[1] / n, q[2] / n, q[3] / n]


# --- the five representations ---------------------------------------------------------------


class Euler:
    __slots__ = ("translation", "angles")

    def __init__(self, translation, angles):
        self.translation = list(translation)
        self.angles = list(angles)

    def euler(self):
        return list(self.translation), list(self.angles)

    def quat(self):
        return list(self.translation), euler_to_quat(self.angles)

    def homo(self):
        return to_homo(euler_to_matrix(self.angles), self.translation)

    def axis_angle(self):
        axis, angle = quat_to_axis_angle(euler_to_quat(self.angles))
        return list(self.translation), axis, angle

    def position(self):
        return list(self.translation)


class Quat:
    __slots__ = ("translation", "rotation")

    def __init__(self, translation, rotation):
        self.translation = list(translation)
        self.rotation = list(rotation)

    def euler(self):
        return list(self.translation), matrix_to_euler(quat_to_matrix(normalized(self.rotation)))

    def quat(self):
        return list(self.translation), normalized(self.rotation)

    def homo(self):
        return to_homo(quat_to_matrix(normalized(self.rotation)), self.translation)

    def axis_angle(self):
        axis, angle = quat_to_axis_angle(normalized(self.rotation))
        return list(self.translation), axis, angle

    def position(self):
        return list(self.translation)


class Homo:
    __slots__ = ("matrix",)

    def __init__(self, matrix):
        self.matrix = list(matrix)

    def euler(self):
        return self.position(), matrix_to_euler(quat_to_matrix(homo_to_quat(self.matrix)))

    def quat(self):
        return self.position(), homo_to_quat(self.matrix)

    def homo(self):
        return list(self.matrix)

    def axis_angle(self):
        axis, angle = quat_to_axis_angle(homo_to_quat(self.matrix))
        return self.position(), axis, angle

    def position(self):
        h = self.matrix
        return [h[12], h[13], h[14]]


class AxisAngle:
    __slots__ = ("translation", "axis", "angle")

    def __init__(self, translation, axis, angle):
        self.translation = list(translation)
        self.axis = list(axis)
        self.angle = float(angle)

    def euler(self):
        q = axis_angle_to_quat(self.axis, self.angle)
        return list(self.translation), matrix_to_euler(quat_to_matrix(q))

    def quat(self):
        return list(self.translation), axis_angle_to_quat(self.axis, self.angle)

    def homo(self):
        return to_homo(axis_angle_to_matrix(self.axis, self.angle), self.translation)

    def axis_angle(self):
        return list(self.translation), list(self.axis), self.angle

    def position(self):
        return list(self.translation)


class Position:
    __slots__ = ("translation",)

    def __init__(self, translation):
        self.translation = list(translation)

    def euler(self):
        return list(self.translation), [0.0, 0.0, 0.0]

    def quat(self):
        return list(self.translation), [0.0, 0.0, 0.0, 1.0]

    def homo(self):
        t = self.translation
        return [1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, t[0], t[1], t[2], 1.0]

    def axis_angle(self):
        return list(self.translation), [1.0, 0.0, 0.0], 0.0

    def position(self):
        return list(self.translation)
