#!/usr/bin/env python3
"""Writes the starting corpora of the fuzz targets into fuzz/corpus/<target>/.

The inputs are short inputs of the project's own; run this again after changing
it. File names are the inputs' labels, so a diff shows what changed.
"""
import os
import sys

WORDPIECE_VOCAB = "[PAD]\n[UNK]\n[CLS]\n[SEP]\n黑\n色\nphone\n##s\n15\n"
WORDPIECE_JSON = ('{"model":{"type":"WordPiece","unk_token":"[UNK]","continuing_subword_prefix":"##",'
                  '"max_input_chars_per_word":100,"vocab":{"[PAD]":0,"[UNK]":1,"[CLS]":2,"[SEP]":3,'
                  '"黑":4,"色":5,"phone":6,"##s":7}}}')
BPE_JSON = ('{"model":{"type":"BPE","vocab":{"<s>":0,"<pad>":1,"</s>":2,"<unk>":3,"a":4,"b":5,"ab":6,'
            '"Ġ":7,"Ġab":8},"merges":["a b",["Ġ","ab"]]}}')
UNIGRAM_JSON = ('{"model":{"type":"Unigram","unk_id":3,"vocab":[["<s>",0.0],["<pad>",0.0],["</s>",0.0],'
                '["<unk>",0.0],["▁",-2.0],["▁黑",-3.0],["色",-2.5],["ab",-1.5]]}}')
UNTYPED_JSON = '{"model":{"vocab":{"[UNK]":0,"[CLS]":1,"[SEP]":2,"x":3}}}'

TITLES = [
    "iPhone 15 Pro Max 256GB 黑色 手机壳",
    "華為 Mate60 Pro 5G 手機 雅川青",
    "小米 Redmi K70 至尊版 12+256G",
    "USB-C 数据线 1.5m*2 快充",
    "乐高 LEGO 积木 儿童 玩具 男孩 女孩 生日礼物",
    "\xa0\u3000全角　空格，标点！",
    "𠀀𪚥 罕见字 abc_def/ghi",
]

STARTING_INPUTS = {
    "fuzz_utf8": {
        "ascii": b"\x05hello world",
        "han": b"\x03" + "黑色手机壳".encode(),
        "cut_lead": b"\x02ab\xe4\xb8",
        "four_byte": b"\x10\xf0\x9f\x98\x80abc\xff\xfe",
        "continuations": b"\x07\x80\x80\xbf\xc0\xaf\xf8\x88",
    },
    "fuzz_segmentation": {f"title_{i}": t.encode() for i, t in enumerate(TITLES)}
    | {"invalid_utf8": b"\xe4\xb8 abc\xff \xe4\xb8\xad\xe6\x96\x87 \xed\xa0\x80 \xc0\xaf"},
    "fuzz_tokenizer_file": {
        "vocab_txt": b"\x00" + WORDPIECE_VOCAB.encode(),
        "vocab_crlf": b"\x00" + WORDPIECE_VOCAB.replace("\n", "\r\n").encode(),
        "wordpiece_json": b"\x01" + WORDPIECE_JSON.encode(),
        "bpe_json": b"\x01" + BPE_JSON.encode(),
        "unigram_json": b"\x01" + UNIGRAM_JSON.encode(),
        "untyped_json": b"\x01" + UNTYPED_JSON.encode(),
    },
    "fuzz_tokenizer_encode": {f"text_{i}": bytes([i * 7 % 65]) + t.encode() for i, t in enumerate(TITLES)}
    | {"no_limit_hello": b"\x00Hello world", "limit_one": b"\x01iphone 15 pro", "bytes": b"\xff\xff\x00\x01\x7f\xc3"},
    "fuzz_request_loop": {
        "extract": '{"id":"1","type":"extract","title":"iPhone 15 Pro 黑色 手机壳","max_len":8}'.encode(),
        "extract_traditional": '{"id":"2","type":"extract","title":"華為 Mate60 手機"}'.encode(),
        "extract_big_max_len": b'{"id":"3","type":"extract","title":"abc","max_len":1e300}',
        "extract_negative": b'{"id":"4","type":"extract","title":"abc def","max_len":-5}',
        "extract_wrong_type": b'{"id":"5","type":"extract","title":7,"max_len":"x"}',
        "convert": '{"id":"6","type":"convert","title":"臺灣 軟體 記憶體"}'.encode(),
        "metrics": b'{"id":"7","type":"metrics"}',
        "shutdown": b'{"id":"8","type":"shutdown"}',
        "unknown_type": b'{"id":9,"type":"dance"}',
        "not_json": b'{"id":"10","type":',
        "array": b'[1,2,{"type":"extract"}]',
        "invalid_utf8": b'{"id":"\xff","type":"extract","title":"\xe4\xb8 x"}',
        "escapes": b'{"id":"\\ud800","type":"extract","title":"\\u9ed1\\u8272\\u0000abc"}',
        "nul_in_title": '{"id":"11","type":"extract","title":"a\\u0000b 耳機","detail":true,"top":3}'.encode(),
    },
}


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    for target, inputs in STARTING_INPUTS.items():
        folder = os.path.join(root, target)
        os.makedirs(folder, exist_ok=True)
        for label, data in inputs.items():
            with open(os.path.join(folder, label), "wb") as out:
                out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
