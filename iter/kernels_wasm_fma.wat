;; The word loops of the wasm-fma kernel set: the double-chain loops of kernels_double_chain.hpp
;; with each multiply-add on a chain one f64x2.relaxed_madd of relaxed SIMD (fused where the CPU
;; has FMA; exact either way, as every value is an integer or a half-integer below 2^32). The
;; carried value stays in both lanes of a v128 from one word to the next, so that nothing on the
;; chain moves it between a scalar and a vector register: a word step is one multiply-add, one
;; division and two truncations on it, as in the other sets, and the word's own value joins it
;; off the chain. They work in the program's memory, which the module imports;
;; web/assemble_kernels.mjs assembles this file into the JavaScript that calls them
;; (platform/wasm_kernels.js).
(module
  (import "env" "memory" (memory 1))

  ;; v = v * m, the carry from the last word to the first.
  (func (export "mul") (param $v i32) (param $n i32) (param $m i32) (param $base i32)
    (local $b v128) (local $minus_b v128) (local $half v128) (local $carry v128) (local $s v128)
    (local $factor f64) (local $at i32)
    (local.set $b (f64x2.splat (f64.convert_i32_s (local.get $base))))
    (local.set $minus_b (f64x2.neg (local.get $b)))
    (local.set $half (f64x2.splat (f64.const 0.5)))
    (local.set $factor (f64.convert_i32_s (local.get $m)))
    (local.set $at (i32.add (local.get $v) (i32.shl (local.get $n) (i32.const 2))))
    (block $done
      (br_if $done (i32.le_u (local.get $at) (local.get $v)))
      (loop $words
        (local.set $at (i32.sub (local.get $at) (i32.const 4)))
        (local.set $s (f64x2.add (f64x2.splat (f64.mul (local.get $factor)
                                                      (f64.convert_i32_s (i32.load (local.get $at)))))
                                 (local.get $carry)))
        (local.set $carry (f64x2.trunc (f64x2.div (local.get $s) (local.get $b))))
        (i32.store (local.get $at)
          (i32.trunc_f64_s
            (f64x2.extract_lane 0
              (f64x2.relaxed_madd (local.get $minus_b) (local.get $carry)
                                  (f64x2.add (local.get $s) (local.get $half))))))
        (br_if $words (i32.gt_u (local.get $at) (local.get $v))))))

  ;; a = a + w, the carry from the last word to the first.
  (func (export "add") (param $a i32) (param $w i32) (param $n i32) (param $base i32)
    (local $b v128) (local $minus_b v128) (local $half v128) (local $carry v128) (local $s v128)
    (local $j i32) (local $at i32)
    (local.set $b (f64x2.splat (f64.convert_i32_s (local.get $base))))
    (local.set $minus_b (f64x2.neg (local.get $b)))
    (local.set $half (f64x2.splat (f64.const 0.5)))
    (local.set $j (local.get $n))
    (block $done
      (br_if $done (i32.le_s (local.get $j) (i32.const 0)))
      (loop $words
        (local.set $j (i32.sub (local.get $j) (i32.const 1)))
        (local.set $at (i32.shl (local.get $j) (i32.const 2)))
        (local.set $s (f64x2.add
          (f64x2.splat (f64.convert_i32_s (i32.add (i32.load (i32.add (local.get $a) (local.get $at)))
                                                   (i32.load (i32.add (local.get $w) (local.get $at))))))
          (local.get $carry)))
        (local.set $carry (f64x2.trunc (f64x2.div (local.get $s) (local.get $b))))
        (i32.store (i32.add (local.get $a) (local.get $at))
          (i32.trunc_f64_s
            (f64x2.extract_lane 0
              (f64x2.relaxed_madd (local.get $minus_b) (local.get $carry)
                                  (f64x2.add (local.get $s) (local.get $half))))))
        (br_if $words (i32.gt_s (local.get $j) (i32.const 0))))))

  ;; a = a - w, branchless: the borrow is the sign bit of the difference.
  (func (export "sub") (param $a i32) (param $w i32) (param $n i32) (param $base i32)
    (local $borrow i32) (local $s i32) (local $j i32) (local $at i32)
    (local.set $j (local.get $n))
    (block $done
      (br_if $done (i32.le_s (local.get $j) (i32.const 0)))
      (loop $words
        (local.set $j (i32.sub (local.get $j) (i32.const 1)))
        (local.set $at (i32.shl (local.get $j) (i32.const 2)))
        (local.set $s (i32.sub (i32.sub (i32.load (i32.add (local.get $a) (local.get $at)))
                                        (i32.load (i32.add (local.get $w) (local.get $at))))
                               (local.get $borrow)))
        (local.set $borrow (i32.shr_u (local.get $s) (i32.const 31)))
        (i32.store (i32.add (local.get $a) (local.get $at))
          (i32.add (local.get $s)
                   (i32.and (local.get $base) (i32.sub (i32.const 0) (local.get $borrow)))))
        (br_if $words (i32.gt_s (local.get $j) (i32.const 0))))))

  ;; v = floor(v / d), the remainder from the first word to the last; returns v mod d.
  (func (export "div") (param $v i32) (param $n i32) (param $d i32) (param $base i32)
    (result i32)
    (local $b v128) (local $divisor v128) (local $minus_divisor v128) (local $half v128)
    (local $remainder v128) (local $s v128) (local $q v128) (local $end i32)
    (local.set $b (f64x2.splat (f64.convert_i32_s (local.get $base))))
    (local.set $divisor (f64x2.splat (f64.convert_i32_s (local.get $d))))
    (local.set $minus_divisor (f64x2.neg (local.get $divisor)))
    (local.set $half (f64x2.splat (f64.const 0.5)))
    (local.set $end (i32.add (local.get $v) (i32.shl (local.get $n) (i32.const 2))))
    (block $done
      (br_if $done (i32.ge_u (local.get $v) (local.get $end)))
      (loop $words
        (local.set $s
          (f64x2.relaxed_madd (local.get $b) (local.get $remainder)
                              (f64x2.splat (f64.convert_i32_s (i32.load (local.get $v))))))
        (local.set $q (f64x2.trunc (f64x2.div (local.get $s) (local.get $divisor))))
        (local.set $remainder
          (f64x2.trunc (f64x2.relaxed_madd (local.get $minus_divisor) (local.get $q)
                                           (f64x2.add (local.get $s) (local.get $half)))))
        (i32.store (local.get $v) (i32.trunc_f64_s (f64x2.extract_lane 0 (local.get $q))))
        (local.set $v (i32.add (local.get $v) (i32.const 4)))
        (br_if $words (i32.lt_u (local.get $v) (local.get $end)))))
    (i32.trunc_f64_s (f64x2.extract_lane 0 (local.get $remainder))))
)
